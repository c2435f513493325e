# drift: the two commands of the README are `make demo` and `make test`.
# Each installs what is missing, configures, builds with -j2 and runs.

BUILD     ?= build
JOBS      ?= 2
CMAKE_ARGS ?=

# Debian packages the build and the demo need; those the tests need on top
# (the independent dbf readers and writers the tests compare with: python3-dbf,
# dbfread, GDAL's ogr2ogr, shapelib's tools and LibreOffice Calc; man to check
# the man pages and dpkg-dev to build the package); and those the benchmark
# needs on top.  `make demo` installs only the first list.
PACKAGES = cmake g++ make libsqlite3-dev sqlite3 libsodium-dev python3 libgtest-dev
TEST_PACKAGES = python3-dbf python3-dbfread gdal-bin shapelib \
                libreoffice-calc-nogui libreoffice-base-drivers man-db dpkg-dev
BENCH_PACKAGES = time

# $(call install_missing,<packages>): apt-get installs the packages that are
# not installed yet; apt-get update runs once, and only when one is missing.
# As root directly, else through sudo.
define install_missing
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || \
	    missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  $$SUDO env DEBIAN_FRONTEND=noninteractive \
	    apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

.PHONY: all deps test-deps configure build test demo clean bench bench-lob test-sanitize fuzz stress install package

all: build

deps:
	$(call install_missing,$(PACKAGES))

test-deps: deps
	$(call install_missing,$(TEST_PACKAGES))

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	./scripts/demo.sh $(BUILD)

# The programs, libocilite, oci.h and the man pages under PREFIX (DESTDIR is
# honoured as usual).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package of the same tree under /usr, in $(BUILD).
package: build
	$(call install_missing,dpkg-dev)
	cd $(BUILD) && cpack -G DEB

# Throughput of both programs against ogr2ogr and the system-call floors
# (bench/README.md).  Not part of test.  ROWS, RUNS, SEED, WORK, MEMO pass
# through to bench/run.sh.
bench: build
	$(call install_missing,$(BENCH_PACKAGES))
	./bench/run.sh $(BUILD)

# Peak memory of both programs on 10,000 memos of 100 KB through a CLOB column
# (bench/lob_memory.sh; RECORDS, MEMO_BYTES, LIMIT_KB, WORK pass through).
bench-lob: build
	./bench/lob_memory.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# The whole ctest suite built with the address and undefined-behaviour
# sanitizers, in a build directory of its own.  Any report fails the run.
# Allocation failures return null (the engine's pool tests ask for impossible
# sizes and expect a clean refusal) instead of aborting.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 \
               UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

test-sanitize: test-deps
	cmake -S . -B $(SANITIZE_BUILD) -DDRIFT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j$(JOBS)

# libFuzzer targets (fuzz/), built with clang in their own directory, each run
# for FUZZ_SECONDS on a working copy of its seed corpus (fuzz/corpus/<name>).
# Findings are written to $(FUZZ_BUILD)/findings/.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= command_line config_export config_import dbf_walk dbf_append expr conv sql ocilite_values
# Absolute: the file targets work in a scratch directory of their own.
FUZZ_DIR      = $(abspath $(FUZZ_BUILD))

fuzz: deps
	@command -v clang++ >/dev/null 2>&1 || { \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq clang; }
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	@mkdir -p $(FUZZ_BUILD)/findings
	@set -e; for t in $(FUZZ_TARGETS) $$(test -x $(FUZZ_BUILD)/fuzz_ntx_walk && echo ntx_walk); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "== fuzz_$$t: $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=20480 -timeout=20 \
	    -rss_limit_mb=2048 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_DIR)/findings/$$t- \
	    $(FUZZ_DIR)/corpus/$$t $(CURDIR)/fuzz/corpus/$$t 2>$(FUZZ_BUILD)/fuzz_$$t.log || \
	    { tail -40 $(FUZZ_BUILD)/fuzz_$$t.log; exit 1; }; \
	  grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)" $(FUZZ_BUILD)/fuzz_$$t.log; \
	done

# The crash, fault and concurrency tests at full strength: 100 kill -9 runs of
# each program (and of dbftool append, zap and index over a group) instead of the
# reduced count that make test uses, and the simulated kill at every write of a
# tag change.
KILL_RUNS ?= 100

stress: test-deps build
	cd $(BUILD) && DRIFT_KILL_RUNS=$(KILL_RUNS) ctest --output-on-failure \
	  -R '(Kill|DiskFull|FaultLoop|TagFault|TagCrash|Concurrency)'
