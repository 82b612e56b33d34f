# Convenience entry points: `make demo` and `make test` install what a fresh
# Debian machine lacks, configure and build with CMake, then run.
#
#   make demo      the translator alone, then examples/control.aaxl translated
#   make test      everything (translator, tests, benchmark), then the suite
#   make install   the program, its man page, the schema folder and the
#                  examples under PREFIX (default /usr/local); DESTDIR honoured
#   make package   a Debian package built with CPack, in build/
#
# Extra CMake settings go through CMAKE_ARGS, for instance
# `make test CMAKE_ARGS=-DVORQUEL_WERROR=ON`.

BUILD_DIR := build
SANITIZE_DIR := build-sanitize
JOBS      := 2
PACKAGES  := cmake g++ libpugixml-dev libgtest-dev graphviz
DEMO_MODEL := examples/control.aaxl
PREFIX    := /usr/local
CMAKE_ARGS :=

.PHONY: all deps configure program build test test-sanitize demo install package clean

all: build

# apt-get update runs once, and only when some package is missing.
deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg -s $$p 2>/dev/null | grep -q '^Status: install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if ! command -v apt-get >/dev/null 2>&1; then \
	    echo "missing packages:$$missing (install them with your package manager)"; exit 1; \
	  fi; \
	  if [ "$$(id -u)" -eq 0 ]; then sudo=""; \
	  elif command -v sudo >/dev/null 2>&1; then sudo="sudo"; \
	  else echo "missing packages:$$missing (root needed to install them)"; exit 1; fi; \
	  echo "installing:$$missing"; \
	  $$sudo apt-get update && $$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; \
	fi

configure: deps
	@echo "== configuring $(BUILD_DIR)/"
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)

# The translator alone: what the demo, the install and the package need.
program: configure
	@echo "== building the translator ($(BUILD_DIR)/vorquel)"
	cmake --build $(BUILD_DIR) -j$(JOBS) --target vorquel

# Everything: the translator, the test programs and the benchmark.
build: configure
	@echo "== building the translator, the test programs and the benchmark"
	cmake --build $(BUILD_DIR) -j$(JOBS)

test: build
	@echo "== running the test suite"
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS)

# The whole test suite again, everything built with AddressSanitizer and
# UndefinedBehaviorSanitizer: any report fails the test that caused it.
test-sanitize: deps
	@echo "== configuring and building $(SANITIZE_DIR)/ with the sanitizers"
	cmake -S . -B $(SANITIZE_DIR) -DVORQUEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(SANITIZE_DIR) -j$(JOBS)
	@echo "== running the test suite under the sanitizers"
	ASAN_OPTIONS=detect_leaks=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j$(JOBS)

# Translates the example model into demo-out/ and lists what was written;
# the exit status is the translator's.
demo: program
	@echo "== translating $(DEMO_MODEL) into demo-out/"
	rm -rf demo-out
	mkdir -p demo-out
	@cd demo-out && status=0; \
	AADL_SCHEMA_DIR="$(CURDIR)/aadl-schema" "$(CURDIR)/$(BUILD_DIR)/vorquel" -v 1 "$(CURDIR)/$(DEMO_MODEL)" || status=$$?; \
	echo "demo-out/:"; ls -l; exit $$status

install: program
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

package: program
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) demo-out
