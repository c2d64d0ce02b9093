# The two entry points on a fresh Debian machine:
#   make demo   builds everything and runs the main job
#   make test   builds and runs every test, plain and under ASan/UBSan
# Both install the Debian packages they need first (when run as root).

PACKAGES := cmake ninja-build ccache g++ clang clang-format pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcfitsio-dev libpng-dev python3-astropy python3-pil imagemagick netpbm fitsverify strace \
	python3-dev python3-pybind11 python3-pytest python3-pip python3-setuptools python3-ccdproc python3-distributed \
	g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 wine32:i386
PREFIX_TEST := $(CURDIR)/build/install-test

.PHONY: all deps build build-bench build-sanitize build-windows build-windows64 build-windows32 demo samples test test-format test-default test-sanitize test-tsan test-fma test-install test-fuzz fuzz-long test-windows test-windows64 test-windows32 bench bench-cold bench-program bench-python clean

all: build

deps:
	@scripts/install-deps.sh $(PACKAGES)

build: deps
	cmake --preset default
	cmake --build --preset default

build-bench: build
	cmake --build --preset default --target benchmarks

build-sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize

demo: build
	scripts/demo.sh build/default

# Regenerates the synthetic star fields shipped in samples/.
samples: build
	build/default/bin/starfield samples/starfield-gray.bmp samples/starfield-colour.bmp

# Every part runs, even after one fails; the summary at the end names each
# part that passed, was skipped on this machine (and why) or failed.
TEST_PARTS := test-format test-install test-fuzz test-windows64 test-windows32 test-fma test-tsan test-default test-sanitize
test:
	@scripts/test-parts.sh $(TEST_PARTS)

# One .clang-format for the whole tree, tests and code alike.
test-format: deps
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

test-default: build
	ctest --preset default

test-sanitize: build-sanitize
	ctest --preset sanitize

# Eight threads reading, accessing and writing their own images at once,
# built with ThreadSanitizer.
test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

# The bit-exact formula tests again, built for a processor with fused
# multiply-add: a compiler that contracted a*b+c would change the last bit.
test-fma: deps
	@if grep -qw fma /proc/cpuinfo; then \
	  cmake --preset fma && cmake --build --preset fma && build/fma/bin/image_tests --gtest_brief=1; \
	else scripts/skip-part.sh test-fma "this processor has no fused multiply-add"; fi

# The DLLs cross-built with mingw-w64 against the real Win32 API, 64-bit and
# 32-bit, and the test suite run under Wine of each width, each in its own
# prefix (build/windows/wineprefix, build/windows32/wineprefix). Where the
# kernel cannot execute 32-bit programs, the 32-bit suite is built (which
# checks the layout assertions) and its export table checked, not run.
build-windows: build-windows64 build-windows32

build-windows64: deps
	cmake --preset windows
	cmake --build --preset windows

build-windows32: deps
	cmake --preset windows32
	cmake --build --preset windows32

test-windows: test-windows64 test-windows32

test-windows64: build-windows64
	scripts/test-windows.sh build/windows

test-windows32: build-windows32
	scripts/test-windows.sh build/windows32

# Install into a scratch prefix and build a consumer project against it, the
# way another project would use the library.
test-install: build
	rm -rf $(PREFIX_TEST)
	cmake --install build/default --prefix $(PREFIX_TEST)
	scripts/consumer-test.sh $(PREFIX_TEST)

# Thirty seconds of libFuzzer on each target, under ASan and UBSan, each from
# a scratch copy of its seed corpus (libFuzzer adds what it finds to it),
# after the target's regression inputs (fuzz/regressions/TARGET/: every
# finding, kept under a name that says what it found): the library's read
# path, the program's reader of every header version, the write path, and
# the program's FITS input. `make fuzz-long` runs each for 30 minutes.
# The schedule weighs each input by its run time: an RLE input near 64 KB
# writes megabytes of fresh samples and runs a hundred times longer than
# most, and unweighted, a long run spent most of its time on such inputs
# (docs/testing.md: the reader's 30-minute rate and coverage either way).
FUZZ_SECONDS ?= 30
FUZZ_MAX_LEN ?= 65536
FUZZ_TARGETS := reader bmp_versions writer fits
test-fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz --target $(FUZZ_TARGETS:%=%_fuzzer)
	for t in $(FUZZ_TARGETS); do \
	  if [ -d fuzz/regressions/$$t ]; then build/fuzz/bin/$${t}_fuzzer fuzz/regressions/$$t/* || exit 1; fi; \
	  rm -rf build/fuzz/corpus-$$t && cp -r fuzz/corpus/$$t build/fuzz/corpus-$$t && \
	  build/fuzz/bin/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) -close_fd_mask=2 \
	    -entropic_scale_per_exec_time=1 -print_final_stats=1 -artifact_prefix=build/fuzz/$$t- \
	    build/fuzz/corpus-$$t || exit 1; \
	done

fuzz-long:
	$(MAKE) test-fuzz FUZZ_SECONDS=1800

bench: build-bench
	scripts/bench.sh build/default

# Fresh processes converting 8192 x 8192 files, next to the floor and the
# peers (stb, Pillow, OpenCV where installed); report in build/bench-cold/.
bench-cold: build-bench
	scripts/bench-cold.sh build/default

# A night of 1,000 frames (-j 2) against a floor program that writes the same
# bytes as durably, and a conversion four times
# over its memory budget; report in build/bench-program/.
bench-program: build-bench
	scripts/bench-program.sh build/default

# Reading an 8192 x 8192 colour file into numpy against reading it alone.
bench-python: build-bench
	mkdir -p build/bench-cold && test -f build/bench-cold/rgb24.bmp || build/default/bin/cold_inputs build/bench-cold
	PYTHONPATH=build/default/python /usr/bin/python3 bench/python_read.py build/bench-cold/rgb24.bmp 5

clean:
	rm -rf build
