# Velmora: every entry point a developer or CI needs. Each target installs what is missing first.
JOBS ?= $(shell nproc)
PRESETS := linux windows windows-plain asan tsan

.PHONY: all deps build test test-full test-recovery coverage bench bench-latency-soak demo package fuzz fuzz-quick netfaults soak memcheck clean $(addprefix build-,$(PRESETS))

all: build

deps:
	@scripts/install-deps.sh

build: build-linux build-windows

# One explicit rule per preset: GNU make ignores pattern rules for targets listed in .PHONY,
# so build-% would leave build-linux without a recipe.
define preset_build
build-$(1): deps
	@cmake --preset $(1) >/dev/null
	@cmake --build --preset $(1) -j $(JOBS)
endef
$(foreach preset,$(PRESETS),$(eval $(call preset_build,$(preset))))

# Unit tests natively, under ASan+UBSan, under TSan (threaded engine), and the Windows
# build under Wine; one summary at the end.
test: deps
	@scripts/run-tests.sh $(JOBS)

# The same, with the whole end-to-end matrix.
test-full: deps
	@VELMORA_E2E_SET=full scripts/run-tests.sh $(JOBS)

# Line and branch coverage of src/ and tools/ by the native suite: build/coverage/index.html and
# a one-line summary.
coverage: deps
	@scripts/coverage.sh $(JOBS)

# libFuzzer targets (fuzz/): FUZZ_SECONDS per target; fuzz-quick is the short run CI makes.
FUZZ_SECONDS ?= 300
fuzz: deps
	@JOBS=$(JOBS) scripts/fuzz.sh $(FUZZ_SECONDS)

fuzz-quick: deps
	@JOBS=$(JOBS) scripts/fuzz.sh 15

# Every network-fault case (make test runs a quick subset).
netfaults: build-linux
	@tests/e2e/netfaults.sh build/linux --set full

# 30 minutes of 8 channels at 192 kHz, 32 bit, with 1 % loss (SOAK_SECONDS to change).
SOAK_SECONDS ?= 1800
soak: build-linux
	@tests/e2e/netfaults.sh build/linux --soak $(SOAK_SECONDS)

# valgrind memcheck of 100 init/createBuffers/start/stop/disposeBuffers/release cycles.
memcheck: build-linux
	@tests/lifecycle/memcheck.sh build/linux 100

# Twenty losses of each kind in one play run, natively and under Wine, and twenty losses of the
# in-process host: the gaps, their bounds, bit-exact captures and nothing left behind.
test-recovery: build-linux build-windows
	@tests/e2e/recovery.sh build/linux --cycles 20
	@tests/e2e/recovery.sh build/linux --wine build/windows --cycles 20
	@VELMORA_RECOVERY_CYCLES=20 tests/netns/testnet.sh --sinks 1 --timeout 900 -- \
		build/linux/tests/lifecycle/test_lifecycle --gtest_filter='*LossesAndRecoveries*'

# Benchmarks of the optimised build (RelWithDebInfo, -O2), natively and the real DLL under Wine
# (also built with the ordinary waits only, to compare); writes docs/performance.md and its plots.
# CEILING_SECONDS: how long each of the largest formats streams.
CEILING_SECONDS ?= 60
bench: build-linux build-windows build-windows-plain
	@scripts/run-bench.sh build/linux build/windows build/windows-plain 3 $(CEILING_SECONDS)

# The lowest-latency settings (LATENCY_SOAK_CASE: host buffer frames x SyncBufferCount, by default
# the ones recorded in bench/report/make_report.py) played for LATENCY_SOAK_SECONDS; the result goes
# into docs/performance.md (its latency section) and docs/performance/latency-soak-FRAMESxRING.json.
LATENCY_SOAK_SECONDS ?= 600
LATENCY_SOAK_CASE ?=
bench-latency-soak: build-linux
	@scripts/run-bench.sh build/linux build/windows build/windows-plain 3 $(CEILING_SECONDS) \
		--latency-soak $(LATENCY_SOAK_SECONDS) $(if $(LATENCY_SOAK_CASE),--soak-case $(LATENCY_SOAK_CASE))

demo: build-linux
	@scripts/demo.sh build/linux

# What users install: build/package/velmora-VERSION-win64.zip and the Linux tools beside it.
package: build-linux build-windows
	@scripts/package.sh build/linux build/windows build/package

clean:
	rm -rf build
