# Everything a fresh Debian 12 machine needs: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps configure build run test bench tsan format format-check clean

deps:
	./scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/app/quillotone

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -LE bench
	$(MAKE) tsan

# The threading layer and the scanner once more under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=Debug -DQUILLOTONE_TSAN=ON >/dev/null
	cmake --build $(BUILD)-tsan -j $(JOBS) --target scan_tests
	cd $(BUILD)-tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R '^scan'

bench: build
	./bench/run-all $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(BUILD)-tsan
