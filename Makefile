# SPDX-License-Identifier: GPL-3.0-or-later
# Entry points: `make run` (the program with its simulated charger), `make check` (install what
# is missing, build, run every test), `make format-check` and `make bench`.
# Everything builds with CMake through the presets of CMakePresets.json, so an IDE builds as CI
# does: checked (build/, programs in build/bin/), asan, tsan, release, bench and fuzz.

SHELL := /bin/bash
BUILD_DIR := build
BENCH_DIR := build-bench
PACKAGE_DIR := build-package
JOBS ?= 2

# Debian packages the build and the tests need (the session test runs the program under Xvfb
# against a session manager of its own, built on libSM/libICE; the recording uses SQLite through
# SQLiteCpp, and its import reads local times of a named zone with date/tz from the system's zone
# files (tzdata); korvane-log parses its command line with CLI11; publishing uses libmosquitto and
# nlohmann-json, and its tests run a Mosquitto broker of their own with certificates from openssl
# and render the Home Assistant templates it announces with Jinja2, Home Assistant's engine; the
# web page is served with cpp-httplib, built by Debian with OpenSSL for HTTPS).
PACKAGES := g++ cmake ninja-build pkg-config make \
            libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev qt6-charts-dev qt6-svg-dev fonts-liberation2 fonts-wine locales \
            xvfb libsm-dev libice-dev libxcb1-dev \
            libsqlite3-dev libsqlitecpp-dev libcli11-dev \
            libhowardhinnant-date-dev tzdata \
            libcanberra-dev dbus \
            libmosquitto-dev nlohmann-json3-dev mosquitto mosquitto-clients openssl \
            python3-jinja2 libcpp-httplib-dev libssl-dev chromium chromium-driver

# Locales the tests run under; generated when missing.
LOCALES := de_DE.UTF-8

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: check check-asan check-tsan fuzz run bench bench-build deps configure build clean \
        package package-check format-check

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
	cmake --preset checked

build: configure
	cmake --build --preset checked -j$(JOBS)

check: build
	ctest --preset checked -j$(JOBS)

# Fails when a tracked C++ file differs from what clang-format makes of it with .clang-format;
# `clang-format -i FILE` fixes it. Debian's clang-format is the version the style is kept with.
FORMAT_PACKAGES := clang-format git

format-check:
	$(MAKE) deps PACKAGES="$(FORMAT_PACKAGES)"
	@set -eo pipefail; \
	n=$$(git ls-files '*.cpp' '*.h' | wc -l); \
	test "$$n" -gt 0 || { echo "format-check: git lists no C++ files here"; exit 1; }; \
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; \
	echo "format-check: $$n files formatted as .clang-format asks"

# The same tests under AddressSanitizer + UndefinedBehaviorSanitizer, and under ThreadSanitizer
# (their options and suppressions are in the test presets; the long soak runs only in `check`).
check-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j$(JOBS)
	ctest --preset asan -j$(JOBS)

check-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j$(JOBS)
	ctest --preset tsan -j$(JOBS)

# libFuzzer targets, each run for FUZZ_SECONDS from the committed seeds; a crash fails.
FUZZ_SECONDS ?= 60
FUZZ_PACKAGES := clang libclang-rt-14-dev
FUZZ_ENV := ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
            LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzz:
	$(MAKE) deps PACKAGES="$(PACKAGES) $(FUZZ_PACKAGES)"
	cmake --preset fuzz
	cmake --build --preset fuzz -j$(JOBS)
	@set -e; for f in build-fuzz/bin/fuzz_*; do \
	  n=$$(basename $$f); mkdir -p build-fuzz/corpus/$$n; \
	  echo "== $$n: $(FUZZ_SECONDS) s"; \
	  $(FUZZ_ENV) $$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	    -print_final_stats=1 build-fuzz/corpus/$$n fuzz/corpus/$$n 2>&1 | tail -12; \
	  test $${PIPESTATUS[0]} -eq 0; \
	done

# Starts the program against the built-in simulated charger.
run: build
	$(BUILD_DIR)/bin/korvane-connect -DEMO

# Qt Charts, the chart benchmark's comparison peer, needs Qt's OpenGL module, whose
# development package qt6-base-dev only recommends.
BENCH_PACKAGES := libqt6opengl6-dev

# Configures and builds the benchmarks without running them (CI uses it to catch a missing package).
# Warnings are not errors here: g++ 12 at -O3 reports a false -Wrestrict inside std::string.
bench-build:
	$(MAKE) deps PACKAGES="$(PACKAGES) $(BENCH_PACKAGES)"
	cmake --preset bench
	cmake --build --preset bench -j$(JOBS)

bench: bench-build
	@set -e; shopt -s nullglob; for b in $(BENCH_DIR)/bin/bench-*; do \
	  echo "== $$b"; "$$b"; \
	done

# The .deb: a Release build of the programs and their desktop files, packed by CPack with
# Depends from dpkg-shlibdeps (dpkg-dev; file tells CPack which files are programs).
PACKAGE_PACKAGES := dpkg-dev file desktop-file-utils appstream librsvg2-bin man-db lintian

package:
	$(MAKE) deps PACKAGES="$(PACKAGES) $(PACKAGE_PACKAGES)"
	cmake --preset release
	cmake --build --preset release -j$(JOBS)
	rm -f $(PACKAGE_DIR)/korvane-connect_*.deb
	cd $(PACKAGE_DIR) && cpack -G DEB

# Checks the package with lintian (an error fails, warnings are shown), installs it on this
# machine, runs the programs from the PATH without a display, validates the desktop files and
# removes the package again (also when a check fails).
package-check: package
	@set -e; deb=$$(ls $(PACKAGE_DIR)/korvane-connect_*.deb); \
	echo "== lintian $$deb"; \
	lintian --fail-on error --tag-display-limit 0 $$deb; \
	echo "== installing $$deb"; \
	DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y ./$$deb; \
	trap 'DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get remove -y korvane-connect' EXIT; \
	cd /; \
	for p in korvane-connect korvane-log korvane-charger-sim; do \
	  test "$$(command -v $$p)" = /usr/bin/$$p; \
	  man -l /usr/share/man/man1/$$p.1.gz >/dev/null; \
	done; \
	env -u DISPLAY -u WAYLAND_DISPLAY korvane-connect --version; \
	v=$$(korvane-log --version); \
	test "$$(korvane-charger-sim --version)" = "$$v"; \
	env -u DISPLAY -u WAYLAND_DISPLAY korvane-connect --version | grep -qxF "Korvane Connect $$v"; \
	dpkg-query -W -f='$${Version}' korvane-connect | grep -q "^$$v"; \
	korvane-log --help >/dev/null; \
	korvane-charger-sim --help >/dev/null; \
	desktop-file-validate /usr/share/applications/korvane-connect.desktop; \
	appstreamcli validate --no-net /usr/share/metainfo/io.github.korvane.connect.metainfo.xml; \
	for s in 16 32 48 64 128 256; do \
	  file /usr/share/icons/hicolor/$${s}x$${s}/apps/korvane-connect.png | grep -q "$$s x $$s"; \
	done; \
	test -f /usr/share/icons/hicolor/scalable/apps/korvane-connect.svg; \
	dpkg-query -W -f='$${Depends}\n' korvane-connect | grep -q libqt6widgets6; \
	echo "== package-check: the package installs, runs and validates"

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) $(PACKAGE_DIR) build-asan build-tsan build-fuzz
