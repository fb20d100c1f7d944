# make run   - install what the build needs, build, start Plovern
# make test  - the same set-up, then the whole test suite headless
# make bench - copy speed and tick time against cp -a

BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
ifneq ($(CI),)
CMAKE_FLAGS += -DPLOVERN_WERROR=ON
endif
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps configure build run test bench clean

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/plovern $(ARGS)

test: build
	scripts/check-layering
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/copybench

clean:
	rm -rf $(BUILD)
