# Entry points: `make test` and `make demo` install what is missing, build and
# then test or run the demo (every effect as a GIF, and a contact sheet, in
# out/demo/). `make docs` redraws the contact sheet shown in the README.
# `make sanitize` runs the tests under AddressSanitizer and
# UndefinedBehaviorSanitizer; `make bench` runs the benchmarks, `make
# bench-peer` sets the effects against ffmpeg's xfade (bench/peer/README.md).
# `make install` builds and installs qvt, its plug-in modules and the C++
# library under PREFIX (default /usr/local), staged under DESTDIR if given.
BUILD ?= build
PREFIX ?= /usr/local
SAN_BUILD ?= build-san
JOBS ?= 2

.PHONY: all bootstrap build tool test demo docs sanitize bench bench-peer install clean

all: build

bootstrap:
	@scripts/bootstrap.sh

$(BUILD)/build.ninja: | bootstrap
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: bootstrap $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The qvt program and the plug-in module it loads.
tool: bootstrap $(BUILD)/build.ninja
	@cmake --build $(BUILD) -j $(JOBS) --target qvt

demo: tool
	@$(BUILD)/bin/qvt demo -o out/demo

docs: tool
	@$(BUILD)/bin/qvt demo --sheet-only --size 320x240 --thumb 128x96 -o docs

sanitize: bootstrap
	@cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQVT_SANITIZE=ON -DQVT_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)
	@cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bin/bench_*; do $$b; done

bench-peer: build
	@bench/peer/peer.sh $(BUILD)

install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
