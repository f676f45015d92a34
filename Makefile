# Two commands for a new user:
#   make run   - install what is missing, build, start Lockharbour
#   make test  - install what is missing, build, run every test
# and for packagers and testers:
#   make install  - install under PREFIX (default /usr/local), into DESTDIR
#   make package  - build a Debian package (.deb) in the build folder
#   make fuzz     - fuzz every harness in tests/fuzz for FUZZ_SECONDS each
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
CMAKE_TYPE ?= RelWithDebInfo
PREFIX     ?= /usr/local
DESTDIR    ?=
FUZZ_SECONDS ?= 60
MAKEFLAGS  += --no-print-directory

.PHONY: all deps configure build run test test-asan bench install package fuzz fuzz-merge clean

all: build

deps:
	@bash tools/setup.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/lockharbour

# Every test on Qt's offscreen platform, then the model and crypto tests
# once more under AddressSanitizer and LeakSanitizer.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DLH_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

install: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD)

package: build
	cd $(BUILD) && cpack -G DEB

# libFuzzer with clang in a build of its own. New inputs go to
# $(FUZZ_BUILD)/new-inputs, crashes to tests/fuzz/crashes/<harness>/.
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLH_FUZZ=ON \
		-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@bash tools/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Adds the inputs of the last "make fuzz" that reach new code to the
# committed corpus (libFuzzer's -merge=1 keeps only those).
fuzz-merge:
	@bash tools/run-fuzzers.sh --merge $(FUZZ_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
