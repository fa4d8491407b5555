# Everything a fresh Debian 12 machine needs: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

FUZZ_SECONDS ?= 600
PREFIX ?= /usr/local

.PHONY: deps configure build install run test x11 asan tsan bench fuzz format format-check clean

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program, its help page, desktop entry, metainfo and icons under PREFIX (DESTDIR is honoured).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

run: build
	./$(BUILD)/app/quillotone

# What CI runs: the format check, the suite offscreen, the widget tests on a real X server, and the
# suite again under the sanitizers.
test: build
	$(MAKE) format-check
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -LE 'bench|x11'
	$(MAKE) x11
	$(MAKE) asan
	$(MAKE) tsan

# Each test labelled x11 starts its own Xvfb with openbox (scripts/with-xserver).
x11: build
	cd $(BUILD) && ctest --output-on-failure -L x11

# The whole project and its tests under AddressSanitizer (leaks included) and UBSan; any finding
# fails its test. Suppressions name only leaks inside system libraries (scripts/lsan.supp).
ASAN_ENV = ASAN_OPTIONS=detect_leaks=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
asan: deps
	cmake -S . -B $(BUILD)-asan $(CMAKE_FLAGS) -DQUILLOTONE_ASAN=ON >/dev/null
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && $(ASAN_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -LE 'bench|x11'
	cd $(BUILD)-asan && $(ASAN_ENV) ctest --output-on-failure -L x11

# The threading layer, the scanner and the run of several files at once (on real components, short
# files) once more under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=Debug -DQUILLOTONE_TSAN=ON >/dev/null
	cmake --build $(BUILD)-tsan -j $(JOBS) --target scan_tests conversion_conversion_run_pool_test \
		conversion_conversion_run_real_test
	cd $(BUILD)-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R '^scan'
	cd $(BUILD)-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure \
		-R '^conversion\.conversion_run_pool_test$$'
	cd $(BUILD)-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS=halt_on_error=1 \
		GTEST_FILTER='*SeveralFilesAtOnce*' ctest --output-on-failure -R '^conversion\.conversion_run_real_test$$'

# Every fuzz target for FUZZ_SECONDS on its corpus in fuzz/corpus/, which grows with what is found.
fuzz: configure
	cmake --build $(BUILD) -j $(JOBS) --target fuzz_targets
	./fuzz/run $(BUILD) $(FUZZ_SECONDS)

bench: build
	./bench/run-all $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan
