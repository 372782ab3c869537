# The two commands of the README: `make test` and `make run`.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
TEST_DIR := build/test
RELEASE_DIR := build/release
PROGRAM := $(RELEASE_DIR)/app/keyvale
SETUP := $(RELEASE_DIR)/tools/keyvale-setup

.PHONY: test run deps clean

deps:
	@scripts/install-deps

test: deps
	@cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DKEYVALE_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_DIR) -j $(JOBS)
	@cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

run: deps
	@cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DKEYVALE_TESTS=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)
	@if [ ! -x $(PROGRAM) ] || [ ! -x $(SETUP) ]; then echo "Keyvale is not built yet: the program itself does not exist yet (see README.md)."; exit 1; fi
	@cd $(RELEASE_DIR)/app && ../tools/keyvale-setup && ./keyvale

clean:
	rm -rf build
