# make run   - install what the build needs, build, start Plovern
# make test  - the same set-up, then the whole test suite headless
# make bench - copy speed and tick time against cp -a
# make fuzz  - each file reader under libFuzzer, FUZZ_SECONDS (60) each
# make package - a Debian package (apt install ./build/plovern_*.deb)
# make format - the house style on every source file; make check-format fails on any other

BUILD ?= build
SANITIZED ?= build-sanitized
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
ifneq ($(CI),)
CMAKE_FLAGS += -DPLOVERN_WERROR=ON
endif
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps configure build run test test-plain test-sanitized bench fuzz package format check-format clean

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/plovern $(ARGS)

# The suite runs twice: as built for use, and under ASan and UBSan.
test: test-plain test-sanitized

test-plain: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-sanitized: deps
	cmake -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOVERN_SANITIZE=ON $(filter -DPLOVERN_WERROR%,$(CMAKE_FLAGS))
	cmake --build $(SANITIZED) -j $(JOBS)
	cd $(SANITIZED) && QT_QPA_PLATFORM=offscreen \
		ASAN_OPTIONS=detect_stack_use_after_return=1:abort_on_error=0:halt_on_error=1 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
		ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/copybench

package: build
	@scripts/install-deps dpkg-dev
	cd $(BUILD) && cpack

fuzz:
	@scripts/install-deps clang libclang-rt-dev
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOVERN_FUZZ=ON -DPLOVERN_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_schedulefile fuzz_settingsfile fuzz_purgerecord fuzz_resultsfile
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

SOURCES = $(shell git ls-files '*.cpp' '*.h')

format:
	@scripts/install-deps clang-format
	clang-format -i $(SOURCES)

check-format:
	@scripts/install-deps clang-format
	clang-format --dry-run -Werror $(SOURCES)

clean:
	rm -rf $(BUILD) $(SANITIZED) $(FUZZ_BUILD)
