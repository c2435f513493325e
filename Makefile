# drift: the two commands of the README are `make demo` and `make test`.
# Each installs what is missing, configures, builds with -j2 and runs.

BUILD     ?= build
JOBS      ?= 2
CMAKE_ARGS ?=

# Debian packages the build, the demo and the tests need.  Installed with
# apt-get only when one of them is missing.
PACKAGES = cmake g++ make libsqlite3-dev sqlite3 libgtest-dev python3 \
           python3-dbf python3-dbfread gdal-bin

.PHONY: all deps configure build test demo clean bench

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

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
	@[ -x /usr/bin/time ] || { \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq time; }
	./bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
