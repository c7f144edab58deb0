# The README's commands. `make demo` is the main job, `make test` runs every
# test; both set up a fresh Debian 12 machine first.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
VST_PATH ?= $(HOME)/.vst

.PHONY: all deps configure build test test-asan test-fuzz demo install clean

all: build

deps:
	@sh tools/setup-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-fuzz

# The host-facing tests once more with AddressSanitizer and UBSan in the
# plug-in, to prove nothing is touched after effClose and no chunk or index
# from a host reads out of bounds.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVELDRANA_SANITIZE=address -DVELDRANA_BENCH=OFF > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target Veldrana veldrana_so_tests veldrana_tests
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) -L 'dlopen|unit' -E '^EditorSo\.' --timeout 600
# The editor tests draw through Mesa's llvmpipe, which never frees some of
# its allocations and unloads itself before exit, so LeakSanitizer can name
# neither the code nor the module: they run here for memory errors only.
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) -R '^EditorSo\.' --timeout 600

# The fuzz targets, each for a bounded time from its committed seed corpus.
test-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRANA_FUZZ=ON -DVELDRANA_TESTS=OFF -DVELDRANA_BENCH=OFF > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target osc_packet_fuzzer chunk_fuzzer midi_events_fuzzer lua_bins_fuzzer
	cd $(FUZZ_BUILD) && ctest --output-on-failure -L fuzz

demo: build
	@sh tools/demo.sh $(BUILD)

install: build
	@mkdir -p "$(VST_PATH)"
	@cp $(BUILD)/Veldrana.so "$(VST_PATH)/"
	@echo "Installed $(VST_PATH)/Veldrana.so"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) out
