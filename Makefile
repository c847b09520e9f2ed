# The two commands a new user needs: `make run` and `make test`.
SHELL := /bin/bash
JOBS  ?= $(shell nproc)
PKGS  := cmake g++ make ccache googletest libgtest-dev libgmock-dev libbenchmark-dev \
         zlib1g-dev libpng-dev libmd-dev libncurses-dev libslirp-dev snmp snmptrapd telnet

.PHONY: run test deps build-run build-test clean

deps:
	@missing=""; for p in $(PKGS); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=$$( [ $$(id -u) -eq 0 ] || echo sudo ); \
	  $$SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y $$missing; \
	fi

build-run: deps
	cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIGN_TESTS=OFF >/dev/null
	cmake --build build/run -j $(JOBS)

run: build-run
	./build/run/signctl $(if $(ARGS),$(ARGS),var)

build-test: deps
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DSIGN_SANITIZE=ON >/dev/null
	cmake --build build/test -j $(JOBS)

test: build-test
	cd build/test && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest -j $(JOBS) --output-on-failure

clean:
	rm -rf build
