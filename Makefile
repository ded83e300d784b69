# Two commands do everything on a fresh Debian 12 machine:
#   make run   - install what is missing, build, start the simulator, open the window
#   make test  - install what is missing, build, run every test
# and two more put the programs on the system:
#   sudo make install  - into PREFIX (default /usr/local); DESTDIR is honoured
#   make package       - a Debian package in $(BUILD)/ (CPack)

BUILD ?= build
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)

PREFIX ?= /usr/local

# Debian packages the build, the tests and `make run` need.
PACKAGES = cmake make g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev \
           libqt6opengl6-dev \
           libgtest-dev libgmock-dev libbenchmark-dev mbpoll xvfb xauth clang-format \
           librsvg2-bin desktop-file-utils appstream dpkg-dev file lintian systemd \
           libmosquitto-dev mosquitto mosquitto-clients openssl

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test run fuzz mutants format clean screenshot install uninstall package \
        bench-search bench-line bench-stations

all: build

# Installs only what is missing, so a second run does nothing.
deps:
	@missing=""; for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	./scripts/run-with-simulator.sh $(BUILD)/bin

# The list of installed files is kept under a name of its own: the tests' installs
# rewrite install_manifest.txt, which `sudo` would otherwise leave owned by root.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)
	mv -f $(BUILD)/install_manifest.txt $(BUILD)/installed-files.txt

# Removes what the last `make install` put in place.
uninstall:
	@if [ -f $(BUILD)/installed-files.txt ]; then \
	    sed 's|^|$(DESTDIR)|' $(BUILD)/installed-files.txt | xargs -r -d '\n' rm -fv; fi

package: build
	cmake --build $(BUILD) --target package

# libFuzzer target for the reply decoder (needs clang; not part of `make test`).
fuzz: deps
	cmake -S tests/fuzz -B $(BUILD)-fuzz -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	$(BUILD)-fuzz/fuzz_reply_decoder -max_total_time=60 tests/fuzz/corpus

# Find Module timed against the simulator: the whole search with no module, and a
# module found at 19200 and at 9600 baud (real time, about three minutes).
bench-search: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/bench_module_search

# Cycle times and CPU of the real program against the simulator (about 20 minutes);
# AGAINST=<bin dir of another build> runs that build side by side.
bench-line: build
	./bench/line_bench.sh $(if $(AGAINST),--against $(AGAINST)) $(BENCH_ARGS) $(BUILD)/bin

# Eight stations on one line, headless, against the multi-drop simulator paced at the
# line speed: cycle time, silent stations, CPU and memory (about six minutes). For the
# hour of memory: make bench-stations BENCH_STATIONS_ARGS="--seconds 3600 --protocols rtu"
bench-stations: build
	$(BUILD)/bin/bench_stations $(BENCH_STATIONS_ARGS)

# Mutation testing (not part of `make test`): each fault of tests/mutants.txt applied in
# turn to a private copy of the sources in $(BUILD)-mutants, rebuilt and tested; the
# mutants no test kills are listed. Set CMAKE_CXX_COMPILER_LAUNCHER=ccache to reuse objects.
mutants: deps
	MUTANTS_DIR=$(CURDIR)/$(BUILD)-mutants JOBS=$(JOBS) ./scripts/mutants.sh

screenshot: build
	./scripts/screenshot.sh $(BUILD)/bin docs/tallyscope.png docs/trend.png
	./scripts/screenshot.sh $(BUILD)/bin --line-monitor docs/line-monitor.png
	./scripts/screenshot.sh $(BUILD)/bin --stations docs/stations.png

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD)-fuzz $(BUILD)-mutants
