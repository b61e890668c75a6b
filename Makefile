# Convenience front door: `make run` and `make test` on a fresh Debian machine.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

TSAN_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all setup configure build run test tsan fuzz install deb test-package clean

all: build

setup:
	./scripts/setup.sh

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR)

configure: $(BUILD_DIR)/CMakeCache.txt

build: setup configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/corvane

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The engine, audio and CLI tests built with ThreadSanitizer in their own folder. LAME and
# mpg123 are not instrumented, but the decode-ahead thread hands frames over only under its
# own mutex, so nothing needs suppressing: any report fails its test.
tsan: setup
	cmake -S . -B $(TSAN_DIR) -DCORVANE_BUILD_DESKTOP=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread
	cmake --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure -j $(JOBS)

# The fuzz targets of fuzz/ built with clang (libFuzzer, ASan, UBSan) in their own folder,
# each run for FUZZ_SECONDS; fails on any finding (fuzz/run-fuzzers.sh tells where it is).
fuzz: setup
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON \
	  -DCORVANE_BUILD_DESKTOP=OFF -DCORVANE_BUILD_TESTS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers
	sh fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

install: build
	cmake --install $(BUILD_DIR)

# The Debian package (CPack's DEB generator) in $(BUILD_DIR)/.
deb: build
	cd $(BUILD_DIR) && cpack -G DEB

# Builds the package, checks it with lintian, installs it with dpkg, uses the installed
# programs and removes the package again (needs root or sudo).
test-package: build
	./tests/package/test-package.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(TSAN_DIR) $(FUZZ_DIR)
