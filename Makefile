# The kit's two commands: `make demo` (the main job) and `make test` (every test).
# Build flavours live in build/<flavour>: native, asan, win32 (shipping, i686), win64 (x86_64).
SHELL := /bin/bash
JOBS ?= 2

.PHONY: all deps native asan win32 win64 test demo bench clean

all: native win32

deps:
	@scripts/install-deps.sh

native: deps
	@scripts/build.sh native

asan: deps
	@scripts/build.sh asan

win32: deps
	@scripts/build.sh win32

win64: deps
	@scripts/build.sh win64

test: deps
	@scripts/run-tests.sh

demo: deps
	@scripts/demo.sh

bench: deps
	@status=0; scripts/bench-archive.sh || status=1; scripts/bench-install.sh || status=1; exit $$status

clean:
	@scripts/wine.sh --stop >/dev/null 2>&1 || true
	rm -rf build out
