# Thin wrapper over the CMake presets. `make run` and `make test` do all the
# set-up on a fresh Debian 12 or 13 machine, dependencies included.
.PHONY: all deps build run test asan tsan sanitize soak bench windows test-windows package package-windows check-package clean

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

# build/quorvane_<version>_amd64.deb, for `apt install ./build/quorvane_*.deb`.
# The umask keeps the package's folders at the modes Debian expects.
package: build
	cd build && umask 022 && cpack

# build-windows/quorvane-<version>-win64.zip: quorvane.exe, README, licence
# and the notices of the libraries built into it.
package-windows: windows
	cd build-windows && cpack

# Both packages checked as a user gets them (lintian, unpacked runs, wine).
check-package: package package-windows
	scripts/check-package.sh build/quorvane_*_amd64.deb
	scripts/check-package.sh build-windows/quorvane-*-win64.zip

clean:
	rm -rf build build-asan build-tsan build-bench build-windows
