// Plain fields that one thread writes and another reads without a lock (the
// display block, parameter values). A torn or stale value is harmless there,
// but the access itself must be atomic to be defined behaviour; relaxed
// order costs nothing on x86-64.
#pragma once

namespace rt {

template <class T>
inline T relaxedLoad(const T& field) {
  T value;
  __atomic_load(&field, &value, __ATOMIC_RELAXED);
  return value;
}

template <class T>
inline void relaxedStore(T& field, T value) {
  __atomic_store(&field, &value, __ATOMIC_RELAXED);
}

}  // namespace rt
