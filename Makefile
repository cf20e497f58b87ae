# Thin wrapper over the CMake presets. `make run` and `make test` do all the
# set-up on a fresh Debian 12 or 13 machine, dependencies included.
.PHONY: all deps build run test asan tsan sanitize soak bench windows test-windows clean

JOBS ?= $(shell nproc)
DEPS = QUORVANE_DEPS="$$(scripts/deps.sh linux)" && export QUORVANE_DEPS &&

all: build

build:
	@$(DEPS) cmake --preset default >/dev/null && cmake --build --preset default -j $(JOBS)

run: build
	./build/quorvane

test: build
	ctest --preset default -j $(JOBS)

asan:
	@$(DEPS) cmake --preset asan >/dev/null && cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

tsan:
	@$(DEPS) cmake --preset tsan >/dev/null && cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

sanitize: asan tsan

# Ten minutes of random keys against the sanitizer build.
soak:
	@$(DEPS) cmake --preset asan >/dev/null && cmake --build --preset asan -j $(JOBS)
	tests/e2e/e2e.sh build-asan/quorvane soak 600

bench:
	@$(DEPS) cmake --preset bench >/dev/null && cmake --build --preset bench -j $(JOBS)
	./build-bench/bench/quorvane_bench
	bench/observer_cost.py build-bench/quorvane

# A single static quorvane.exe for 64-bit Windows, cross-built with mingw-w64.
windows:
	@QUORVANE_DEPS="$$(scripts/deps.sh windows)" && export QUORVANE_DEPS && cmake --preset windows >/dev/null && cmake --build --preset windows -j $(JOBS)

# Every test that needs no interactive terminal, run under wine.
test-windows: windows
	scripts/wine-test.sh ctest --preset windows -j $(JOBS)

clean:
	rm -rf build build-asan build-tsan build-bench build-windows
