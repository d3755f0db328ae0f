# Convenience wrapper: `make` configures and builds into build/, `make test` runs the suite.
BUILD ?= build
JOBS ?= $(shell nproc)

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

.PHONY: all test clean
