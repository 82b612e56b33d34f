# Convenience entry points: `make demo` and `make test` install what a fresh
# Debian machine lacks, configure and build with CMake, then run.

BUILD_DIR := build
SANITIZE_DIR := build-sanitize
JOBS      := 2
PACKAGES  := cmake g++ libpugixml-dev libgtest-dev graphviz
DEMO_MODEL := examples/typical.aaxl

.PHONY: all deps build test test-sanitize demo clean

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

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure

# The whole test suite again, everything built with AddressSanitizer and
# UndefinedBehaviorSanitizer: any report fails the test that caused it.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DVORQUEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(SANITIZE_DIR) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure

# Translates the example model into demo-out/ and lists what was written;
# the exit status is the translator's.
demo: build
	rm -rf demo-out
	mkdir -p demo-out
	@cd demo-out && status=0; \
	AADL_SCHEMA_DIR="$(CURDIR)/aadl-schema" "$(CURDIR)/$(BUILD_DIR)/vorquel" -v 1 "$(CURDIR)/$(DEMO_MODEL)" || status=$$?; \
	echo "demo-out/:"; ls -l; exit $$status

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) demo-out
