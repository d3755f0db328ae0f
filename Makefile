# Convenience wrapper: `make` configures and builds into build/, `make test` runs the suite.
BUILD ?= build
JOBS ?= $(shell nproc)
# The tree compiles without warnings; a new one fails the build here, as it does in CI.
WERROR ?= ON

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIX_WERROR=$(WERROR)
	cmake --build $(BUILD) -j $(JOBS)

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

.PHONY: all test clean
