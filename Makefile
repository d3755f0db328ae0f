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

# A Debian package of the build (programs, libraries, manual pages) in $(BUILD).
package: all
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD)

.PHONY: all test package clean
