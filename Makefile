# drift: the two commands of the README are `make demo` and `make test`.
# Each installs what is missing, configures, builds with -j2 and runs.

BUILD     ?= build
JOBS      ?= 2
CMAKE_ARGS ?=

# Debian packages the build, the demo and the tests need, and those the
# benchmark needs on top (it times ogr2ogr beside the two programs).
PACKAGES = cmake g++ make libsqlite3-dev sqlite3 libgtest-dev python3 \
           python3-dbf python3-dbfread
BENCH_PACKAGES = time gdal-bin

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

.PHONY: all deps configure build test demo clean bench

all: build

deps:
	$(call install_missing,$(PACKAGES))

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	./scripts/demo.sh $(BUILD)

# Throughput of both programs against ogr2ogr and the system-call floors
# (bench/README.md).  Not part of test.  ROWS, RUNS, SEED, WORK, MEMO pass
# through to bench/run.sh.
bench: build
	$(call install_missing,$(BENCH_PACKAGES))
	./bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
