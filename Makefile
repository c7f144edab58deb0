# The README's commands. `make demo` is the main job, `make test` runs every
# test; both set up a fresh Debian 12 machine first.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
VST_PATH ?= $(HOME)/.vst

.PHONY: all deps configure build test test-asan test-tsan test-fuzz demo install uninstall clean fresh-check fresh-check-test mutation-check

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
	@$(MAKE) --no-print-directory test-tsan
	@$(MAKE) --no-print-directory test-fuzz

# The host-facing tests once more with AddressSanitizer and UBSan in the
# plug-in, to prove nothing is touched after effClose and no chunk or index
# from a host reads out of bounds.
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVELDRANA_SANITIZE=address -DVELDRANA_BENCH=OFF > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target Veldrana veldrana_so_tests veldrana_tests
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS) -L 'dlopen|unit' -LE gl --timeout 600
# The tests that draw go through Mesa's llvmpipe, which never frees some of
# its allocations and unloads itself before exit, so LeakSanitizer can name
# neither the code nor the module: they run here for memory errors only.
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) -L gl --timeout 600

# Every unit and .so test once more under ThreadSanitizer, the host torture
# test among them (its half minute covers the audio, OSC, timer, MIDI and
# chunk threads at once). The first report stops the test process and fails
# the run. tests/tsan.supp holds suppressions for third-party code only.
#
# TSAN_EDITOR_TESTS=0 leaves out the editor's tests (the .so editor tests and
# the editor framework's unit tests), for a time when the editor code reports
# races of its own that are being dealt with elsewhere.
TSAN_EDITOR_TESTS ?= 1
TSAN_EDITOR_SUITES := ^(Editor[A-Za-z]*|Manager[A-Za-z]*|RenderEvents|WindowInput[A-Za-z]*|ViewGeometry|[A-Za-z]*Drawing)\.
TSAN_EXCLUDE := $(if $(filter 0 no off,$(TSAN_EDITOR_TESTS)),-E '$(TSAN_EDITOR_SUITES)')
test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRANA_SANITIZE=thread -DVELDRANA_BENCH=OFF > /dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target Veldrana veldrana_tests veldrana_so_tests veldrana_torture_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) -L 'unit|dlopen|torture' $(TSAN_EXCLUDE) --timeout 600

# The fuzz targets, each for a bounded time from its committed seed corpus.
test-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRANA_FUZZ=ON -DVELDRANA_TESTS=OFF -DVELDRANA_BENCH=OFF > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target osc_packet_fuzzer chunk_fuzzer midi_events_fuzzer midi_file_fuzzer lua_bins_fuzzer \
	  layout_script_fuzzer
	cd $(FUZZ_BUILD) && ctest --output-on-failure -L fuzz

# Opt-in: applies each fault of tools/mutations.tsv to a copy of the tree
# and reports whether the suite catches it (about 45 minutes on two cores).
mutation-check: deps
	@sh tools/mutation-check.sh

# One line per stage; the compiler's output goes to out/log/build.log.
demo: deps
	@sh tools/stage.sh "Building the plug-in and its tools ($(BUILD)/, $(JOBS) jobs)" out/log/build.log \
	  sh -c 'cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build $(BUILD) -j $(JOBS)'
	@sh tools/demo.sh $(BUILD)

# The README's two commands on a machine that has never seen the project: a
# minimal Debian 12 root made with debootstrap, a clean copy of HEAD, only
# make installed, then `make demo` (or `make test`) inside it. Needs root
# (or sudo) and the network; slow, so not part of `make test`.
fresh-check:
	@sh tools/fresh-check.sh demo

fresh-check-test:
	@sh tools/fresh-check.sh test

# Only the plug-in is built for installing, neither tests nor benchmarks;
# the installed copy is stripped (the build's own keeps its debug info).
# DESTDIR stages the file for a package: $(DESTDIR)$(VST_PATH)/Veldrana.so.
INSTALL_DIR = $(DESTDIR)$(VST_PATH)
install: configure
	@cmake --build $(BUILD) -j $(JOBS) --target Veldrana
	@mkdir -p "$(INSTALL_DIR)"
	@strip --strip-unneeded -o "$(INSTALL_DIR)/Veldrana.so.new" $(BUILD)/Veldrana.so
	@mv -f "$(INSTALL_DIR)/Veldrana.so.new" "$(INSTALL_DIR)/Veldrana.so"
	@echo "Installed $(INSTALL_DIR)/Veldrana.so"

uninstall:
	@rm -f "$(INSTALL_DIR)/Veldrana.so"
	@echo "Removed $(INSTALL_DIR)/Veldrana.so"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) build-mutation out
