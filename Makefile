# The README's two commands. Both install what they need first.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?=
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
# The manifest parser reads every fetched document, so it gets the longest run.
FUZZ_PARSE_SECONDS ?= 60

.PHONY: setup build build-asan test test-normal test-asan test-fuzz run bench clean

setup:
	@bash scripts/setup

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Every benchmark program, one after another; each prints its own figures.
bench: build
	@for b in $(BUILD)/bench/*; do if [ -f "$$b" ] && [ -x "$$b" ]; then "$$b"; fi; done

build-asan: setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQL_SANITIZE=ON -DQL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-normal: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) --timeout 900

# Every fuzz/*_fuzzer.cpp, built with clang and run from its seeds under
# fuzz/seeds/<name>; the corpus it grows stays in the build folder. The parser
# runs FUZZ_PARSE_SECONDS and the others FUZZ_SECONDS each, about three and a
# half minutes in all.
test-fuzz: setup
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DQL_FUZZ=ON -DQL_BUILD_APP=OFF -DQL_BUILD_TESTS=OFF -DQL_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@failed=""; for f in fuzz/*_fuzzer.cpp; do name=$$(basename $$f .cpp); seeds=fuzz/seeds/$${name%_fuzzer}; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 $(FUZZ_BUILD)/fuzz/$$name \
	    -max_total_time=$$( [ $$name = parse_fuzzer ] && echo $(FUZZ_PARSE_SECONDS) || echo $(FUZZ_SECONDS) ) \
	    -max_len=16384 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/ \
	    $(FUZZ_BUILD)/corpus/$$name $$seeds || failed="$$failed $$name"; done; \
	  if [ -n "$$failed" ]; then echo "fuzzing found faults in:$$failed"; exit 1; fi

test: test-normal test-asan test-fuzz

run: build
	@if [ -x $(BUILD)/src/app/quorilanth ]; then $(BUILD)/src/app/quorilanth; \
	else echo "The application is not built yet."; exit 1; fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
