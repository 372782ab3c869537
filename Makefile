# The commands of the README: `make test`, `make run` and `make bench`. `make run` creates the program's
# tables beside it, keeping those that exist, and starts it from its own directory.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
TEST_DIR := build/test
RELEASE_DIR := build/release
PROGRAM := $(RELEASE_DIR)/app/keyvale
SETUP := $(RELEASE_DIR)/tools/keyvale-setup/keyvale-setup
BENCH_DIR := build/bench

.PHONY: test run bench deps clean

deps:
	@scripts/install-deps

test: deps
	@cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DKEYVALE_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_DIR) -j $(JOBS)
	@cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

run: deps
	@cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DKEYVALE_TESTS=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)
	@$(SETUP) $(RELEASE_DIR)/app
	@if [ ! -x $(PROGRAM) ]; then echo "Keyvale is not built yet: the program itself does not exist yet (see README.md)."; exit 1; fi
	@cd $(RELEASE_DIR)/app && ./keyvale

# The engine against SQLite: a release build of the benchmarks alone (the engine, bench/ and the program's
# windows), then their runs: the engine, the test screen's keystroke, a test screen's scoring and the results
# window, the last three on the offscreen platform; then the SQL engine's cost cliffs beside SQLite.
bench: deps
	@cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BENCH_DIR) --target engine-bench screen-bench scoring-bench results-window-bench sql-bench -j $(JOBS)
	@$(BENCH_DIR)/bench/engine-bench
	@QT_QPA_PLATFORM=offscreen $(BENCH_DIR)/bench/screens/screen-bench
	@QT_QPA_PLATFORM=offscreen $(BENCH_DIR)/bench/scoring/scoring-bench
	@QT_QPA_PLATFORM=offscreen $(BENCH_DIR)/bench/results/results-window-bench
	@$(BENCH_DIR)/bench/sql/sql-bench

clean:
	rm -rf build
