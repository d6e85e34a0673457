# Entry points: `make check` (install what is missing, build, run every test) and `make bench`.
# Everything builds with CMake; programs land in build/bin/.

SHELL := /bin/bash
BUILD_DIR ?= build
BENCH_DIR ?= build-bench
JOBS ?= 2
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

# Debian packages the build, the tests and the benchmarks need.
PACKAGES := g++ cmake ninja-build pkg-config make \
            libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev qt6-charts-dev fonts-liberation2 fonts-wine locales

# Locales the tests run under; generated when missing.
LOCALES := de_DE.UTF-8

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: check bench deps configure build clean

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
	@for l in $(LOCALES); do \
	  norm=$$(echo $$l | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/'); \
	  if ! locale -a 2>/dev/null | tr 'A-Z' 'a-z' | grep -qx "$$norm"; then \
	    echo "Generating locale $$l"; \
	    $(SUDO) sed -i "s/^# *\($$l UTF-8\)/\1/" /etc/locale.gen; \
	    grep -q "^$$l UTF-8" /etc/locale.gen || echo "$$l UTF-8" | $(SUDO) tee -a /etc/locale.gen >/dev/null; \
	    $(SUDO) locale-gen; \
	  fi; \
	done

configure: deps
	cmake -S . -B $(BUILD_DIR) -G "$(GENERATOR)" -DKORVANE_WERROR=ON

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

check: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

bench: deps
	cmake -S . -B $(BENCH_DIR) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	  -DKORVANE_TESTS=OFF -DKORVANE_BENCH=ON
	cmake --build $(BENCH_DIR) -j$(JOBS)
	@set -e; shopt -s nullglob; for b in $(BENCH_DIR)/bin/bench-*; do \
	  echo "== $$b"; "$$b"; \
	done

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
