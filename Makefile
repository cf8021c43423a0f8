# make        builds both builds (installs what is missing first)
# make test   builds and runs every test of both builds under one CTest summary
# make demo   builds, then runs the program's main job on sample photographs under Wine,
#             answering its dialogs itself when no display is set (scripts/demo.sh)
# make bench  times the picture path on photographs (results in build/results/)
# make fuzz   fuzzes the readers of hostile input, FUZZ_SECONDS each (scripts/fuzz.sh)
# make vm-check  runs a failing command, and where this machine runs 32-bit code also two
#             tests, through the virtual machine on purpose (make test does it under CI)
# make profile  profiles the picture path and 32- against 64-bit decoding on the host
#             (build/results/profile.md)
BUILD := build
ROOT := $(abspath .)
DEPS := $(ROOT)/$(BUILD)/deps
# Configuring and building say one line each; CMake's and the compiler's output goes to
# build/<kind>-configure.log and build/<kind>-build.log, shown when the step fails.
STEP := bash scripts/step.sh

.PHONY: all setup deps deps-win deps-host configure-win build test vm-check dist demo bench fuzz profile clean

all: build

setup:
	@bash scripts/setup.sh

deps: deps-win deps-host

deps-win: setup
	@bash scripts/build-libjpeg.sh win "$(DEPS)"

deps-host: setup
	@bash scripts/build-libjpeg.sh host "$(DEPS)"

configure-win: deps-win
	@test -f $(BUILD)/win/CMakeCache.txt || $(STEP) "configuring $(BUILD)/win" $(BUILD)/win-configure.log \
	  cmake -S . -B $(BUILD)/win \
	  -DCMAKE_TOOLCHAIN_FILE="$(ROOT)/cmake/mingw-i686.cmake" -DLIBJPEG_PREFIX="$(DEPS)/win"

build: configure-win deps-host
	@test -f $(BUILD)/host/CMakeCache.txt || $(STEP) "configuring $(BUILD)/host" $(BUILD)/host-configure.log \
	  cmake -S . -B $(BUILD)/host \
	  -DCMAKE_TOOLCHAIN_FILE="$(ROOT)/cmake/host-i386.cmake" -DVANTOREL_SANITIZE=ON \
	  -DLIBJPEG_PREFIX="$(DEPS)/host"
	@$(STEP) "building $(BUILD)/win (the program and its tests)" $(BUILD)/win-build.log cmake --build $(BUILD)/win -j2
	@$(STEP) "building $(BUILD)/host (the platform-neutral tests)" $(BUILD)/host-build.log cmake --build $(BUILD)/host -j2
	@printf 'subdirs("host")\nsubdirs("win")\n' > $(BUILD)/CTestTestfile.cmake

# The zip test runs the program unpacked from dist's zip, made here (a second).
# The instruction check reads the shipped program for SSE and MMX outside checked paths.
# Every step that runs 32-bit code goes through scripts/i386.sh: here where this
# machine runs it, otherwise in the project's virtual machine.
# CI also takes the virtual machine's road on purpose (scripts/vm-check.sh), so that it
# cannot rot where this machine runs 32-bit code itself.
test: build
	@bash scripts/dist.sh $(BUILD)
	@bash scripts/instruction-check.sh $(BUILD)
	@bash scripts/i386.sh bash scripts/bench.sh ctest --test-dir $(BUILD) -j2 --output-on-failure --timeout 600
	@if [ -n "$$CI" ]; then bash scripts/setup.sh qemu-system-x86 busybox-static && bash scripts/vm-check.sh $(BUILD); fi

# Where this machine runs 32-bit code, set-up has not installed the virtual machine's packages.
vm-check: build
	@bash scripts/setup.sh qemu-system-x86 busybox-static
	@bash scripts/vm-check.sh $(BUILD)

# The tested program, stripped: only the program is built for it.
dist: configure-win
	@$(STEP) "building $(BUILD)/win's Vantorel.exe" $(BUILD)/win-build.log cmake --build $(BUILD)/win --target Vantorel -j2
	@bash scripts/dist.sh $(BUILD)

# What the demo and the bench install comes first, here: the virtual machine sees this
# machine's root read-only. The demo goes on with generated pictures without the photographs.
demo: build
	@bash scripts/setup.sh imagemagick
	@bash scripts/setup.sh ukui-wallpapers || true
	@bash scripts/i386.sh bash scripts/bench.sh bash scripts/demo.sh $(BUILD)/win/app/Vantorel.exe

bench: build
	@bash scripts/setup.sh ukui-wallpapers imagemagick libvips-tools libjpeg-turbo-progs gnuplot-nox
	@bash scripts/i386.sh bash scripts/bench.sh bash scripts/run-bench.sh

profile:
	@bash scripts/setup.sh linux-perf
	@BUILD="$(ROOT)/$(BUILD)" bash scripts/profile.sh

fuzz:
	@bash scripts/setup.sh clang-14 libclang-rt-14-dev
	@BUILD="$(ROOT)/$(BUILD)" bash scripts/fuzz.sh

clean:
	rm -rf $(BUILD)/win $(BUILD)/host $(BUILD)/dist dist
