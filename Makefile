# Drives CMake.  `make test` builds and runs every test twice: optimised, and
# with AddressSanitizer + UndefinedBehaviorSanitizer, then the Python package's
# tests.  `make demo` runs the demo.
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
ASAN_BUILD := build-asan
CMAKE_FLAGS ?=

APT_PACKAGES := cmake g++ make pkg-config libgtest-dev libpng-dev libjpeg62-turbo-dev libtiff-dev
# The Python package is built and tested with Debian's interpreter and packages.
PYTHON := /usr/bin/python3
PYTHON_PACKAGES := python3-dev python3-pybind11 python3-numpy python3-pytest python3-dask \
  python3-distributed
BENCH_PACKAGES := libopencv-dev libbenchmark-dev

.PHONY: all deps build build-asan test test-release test-asan test-tsan test-plain test-march test-march-v3 \
  test-march-v4 test-python python bench-python test-i386 test-arm64 windows test-windows demo install \
  bench bench-build bench-report fuzz clean format format-check docs test-docs coverage

all: build

# Installs the Debian packages of $(1) that the machine lacks (waiting for
# another installation to finish).
define install_missing
	@missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
	    -o DPkg::Lock::Timeout=600 $$missing; fi
endef

# Install what a fresh machine lacks (Debian packages only).
deps:
	$(call install_missing,$(APT_PACKAGES) $(PYTHON_PACKAGES))

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAR_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

test: test-release test-asan test-python

# The extension module lands in $(BUILD)/python/zar: PYTHONPATH=$(BUILD)/python.
python: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target zar_python zar

test-python: python
	PYTHONPATH=$(CURDIR)/$(BUILD)/python ZAR_LIBRARY=$(CURDIR)/$(BUILD)/libzar.so \
	  $(PYTHON) -m pytest -q -p no:cacheprovider python/tests
	PYTHONPATH=$(CURDIR)/$(BUILD)/python $(PYTHON) python/examples/blur_roi.py data/sample.bmp \
	  $(BUILD)/blurred.bmp

# zar from Python against cv2 from Python, and the binding's cost per call.
bench-python: python
	$(call install_missing,python3-opencv)
	PYTHONPATH=$(CURDIR)/$(BUILD)/python $(PYTHON) python/bench/against_cv2.py $(BENCH_SECONDS)

# Release builds beside `make test` (CI runs them too): the plain kernels
# alone, and the whole library and tests compiled for x86-64-v3 and -v4
# (skipped on a processor without AVX2 or AVX-512).  Results must not change.
LEG_CTEST := ctest --output-on-failure -j $(JOBS) -E install_consumer
define release_leg
	cmake -S . -B $(1) -DCMAKE_BUILD_TYPE=Release $(2) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(1) -j $(JOBS)
	cd $(1) && $(LEG_CTEST)
endef
has_cpu_flag = $(shell grep -qw $(1) /proc/cpuinfo 2>/dev/null && echo yes)

test-plain: deps
	$(call release_leg,build-plain,-DZAR_PLAIN_KERNELS=ON)

test-march: test-march-v3 test-march-v4

test-march-v3: deps
	$(if $(call has_cpu_flag,avx2),$(call release_leg,build-v3,-DCMAKE_C_FLAGS=-march=x86-64-v3 -DCMAKE_CXX_FLAGS=-march=x86-64-v3),@echo "test-march-v3: no AVX2 here, skipped")

test-march-v4: deps
	$(if $(call has_cpu_flag,avx512bw),$(call release_leg,build-v4,-DCMAKE_C_FLAGS=-march=x86-64-v4 -DCMAKE_CXX_FLAGS=-march=x86-64-v4),@echo "test-march-v4: no AVX-512 here, skipped")

demo: build
	$(BUILD)/tools/zar demo demo-out

# Benchmarks against OpenCV (Debian's package, installed when missing).
BENCH_SECONDS ?= 0.5
bench-build: deps
	$(call install_missing,$(BENCH_PACKAGES))
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZAR_BUILD_TESTS=OFF -DZAR_BUILD_BENCH=ON >/dev/null
	cmake --build build-bench -j $(JOBS) --target zar_bench

bench: bench-build
	build-bench/bench/zar_bench $(BENCH_SECONDS)

bench-report: bench-build
	BENCH_SECONDS=$(BENCH_SECONDS) bench/report.sh

# The reference and the guide as HTML in $(DOCS_OUT)/html, with the guide's
# pictures made by the tool from DOCS_PICTURE; Doxygen's warnings are errors.
DOCS_OUT := $(BUILD)/docs
DOCS_PICTURE ?= data/chelsea.png
docs: deps
	$(call install_missing,doxygen)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target zar_tool
	rm -rf $(DOCS_OUT)
	docs/make_images.sh $(BUILD)/tools/zar $(DOCS_PICTURE) $(DOCS_OUT)/images
	ZAR_DOCS_OUT=$(abspath $(DOCS_OUT)) ZAR_SOURCE=$(CURDIR) doxygen docs/Doxyfile
	@echo "docs: open $(DOCS_OUT)/html/index.html"

# Opens every page in headless Chromium: no console error, every image and
# internal link resolves.
test-docs: docs
	$(call install_missing,chromium)
	python3 docs/check_pages.py $(DOCS_OUT)/html

# Other platforms, cross-built with Debian's compilers and run under an emulator: 32-bit
# x86 Linux (qemu-i386 unless the kernel runs i386 programs), 64-bit ARM Linux
# (qemu-aarch64) and Windows (zar.dll for i686 and x86-64; the x86-64 suite under wine64).
# gcc-multilib conflicts with every Debian cross compiler, so i386 uses the i686 one.
CROSS_PACKAGES := cmake make googletest qemu-user
I386_PACKAGES := $(CROSS_PACKAGES) g++-i686-linux-gnu
ARM64_PACKAGES := $(CROSS_PACKAGES) g++-aarch64-linux-gnu
WINDOWS_PACKAGES := cmake make googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64
TOOLCHAINS := $(CURDIR)/cmake/toolchains
# cross_build(dir, toolchain, extra cmake flags, targets): configure and build.
define cross_build
	cmake -S . -B $(1) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAINS)/$(2).cmake -DCMAKE_BUILD_TYPE=Release \
	  -DZAR_BUILD_PYTHON=OFF $(3) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(1) -j $(JOBS) $(4)
endef

test-i386:
	$(call install_missing,$(I386_PACKAGES))
	$(call cross_build,build-i386,i686-linux-gnu)
	cd build-i386 && ctest --output-on-failure -j $(JOBS)

test-arm64:
	$(call install_missing,$(ARM64_PACKAGES))
	$(call cross_build,build-arm64,aarch64-linux-gnu)
	cd build-arm64 && ctest --output-on-failure -j $(JOBS)

# zar.dll and zar.lib for both targets; the i686 side also builds the examples, C programs
# linked through its import library.
windows:
	$(call install_missing,$(WINDOWS_PACKAGES))
	$(call cross_build,build-win64,mingw-x86_64,,--target zar)
	$(call cross_build,build-win32,mingw-i686,,--target zar $(patsubst examples/%.c,example_%,$(wildcard examples/*.c)))

# Both export tables checked; the x86-64 suite and examples run under wine64 (and the i686
# examples under wine where a 32-bit wine is installed).
test-windows: windows
	$(call install_missing,wine64)
	$(call cross_build,build-win64,mingw-x86_64)
	cd build-win64 && ctest --output-on-failure -j $(JOBS)
	cd build-win32 && ctest --output-on-failure -R '^(dll_exports|example_)'

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# libFuzzer (Clang, ASan + UBSan) for FUZZ_SECONDS each: bitmap translation
# from fuzz/corpus, every public operation from fuzz/corpus-ops; new inputs go
# to build-fuzz/corpus-*.  One process each, one core.
FUZZ_SECONDS ?= 60
FUZZ_BUILD := build-fuzz
FUZZ_RUN = -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix=$(FUZZ_BUILD)/

fuzz:
	$(call install_missing,clang)
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAR_FUZZ=ON -DZAR_BUILD_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_dib fuzz_ops
	mkdir -p $(FUZZ_BUILD)/corpus-dib $(FUZZ_BUILD)/corpus-ops
	$(FUZZ_BUILD)/fuzz/fuzz_dib $(FUZZ_RUN) $(FUZZ_BUILD)/corpus-dib fuzz/corpus
	$(FUZZ_BUILD)/fuzz/fuzz_ops $(FUZZ_RUN) $(FUZZ_BUILD)/corpus-ops fuzz/corpus-ops

# ThreadSanitizer: the threaded tests of the frame and the stress test of
# several threads using the library at once.
TSAN_BUILD := build-tsan
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAR_SANITIZE_THREAD=ON \
	  $(CMAKE_FLAGS) >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_frame test_threads
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/test_threads
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/tests/test_frame \
	  --gtest_filter='ThreadContext*:DefaultHandler*'


# Line and branch coverage of src/ by the test suite (a --coverage build; gcovr from Debian).
# The installed-library consumer is left out: it links without the coverage runtime.
COVERAGE_BUILD := build-coverage
coverage: deps
	$(call install_missing,gcovr)
	cmake -S . -B $(COVERAGE_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="--coverage -O1" -DCMAKE_EXE_LINKER_FLAGS=--coverage \
	  -DCMAKE_SHARED_LINKER_FLAGS=--coverage $(CMAKE_FLAGS) >/dev/null
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	cd $(COVERAGE_BUILD) && ctest -j $(JOBS) -E install_consumer >/dev/null || true
	gcovr -r . --filter src/ --exclude-throw-branches --exclude-unreachable-branches \
	  --print-summary $(COVERAGE_BUILD) | tail -3

# The house style (.clang-format) over every C and C++ source of the repository.
FORMAT_FILES = $(shell git ls-files '*.c' '*.cpp' '*.h')
format:
	clang-format -i $(FORMAT_FILES)
format-check:
	@command -v clang-format >/dev/null 2>&1 || { echo "installing: clang-format"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-format; }
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "format: clean"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(COVERAGE_BUILD) build-plain build-v3 build-v4 \
	  build-bench build-fuzz build-i386 build-arm64 build-win32 build-win64 demo-out
