# helmert7: `make demo` runs the tool on the bundled example, `make test` runs every test.
# Both install what is missing first (scripts/install-deps, Debian 12).

BUILD := build
SANITIZE_BUILD := build-sanitize
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS := 60
FUZZ_TARGETS := numbers config run
JOBS := $(shell nproc)
TOOL := $(BUILD)/bin/helmert7
EXAMPLE := examples

.PHONY: deps build demo test test-release test-sanitize fuzz clean

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS)

# The trace's labels are GBK bytes; iconv shows them in a UTF-8 terminal.
demo: build
	@echo "== parameter report: console trace"
	$(TOOL) --inputsrc "$$(cat $(EXAMPLE)/source.txt)" --inputdes "$$(cat $(EXAMPLE)/target.txt)" \
	  --outfile $(BUILD)/demo-parameters.txt | iconv -f GBK -t UTF-8
	@echo "== parameter report: $(BUILD)/demo-parameters.txt"
	@cat $(BUILD)/demo-parameters.txt
	@echo
	@echo "== prediction report: console trace"
	$(TOOL) --inputsrc "$$(cat $(EXAMPLE)/source.txt)" --inputdes "$$(cat $(EXAMPLE)/target.txt)" \
	  --inputtest "$$(cat $(EXAMPLE)/test.txt)" --outfile $(BUILD)/demo-prediction.txt | iconv -f GBK -t UTF-8
	@echo "== prediction report: $(BUILD)/demo-prediction.txt"
	@cat $(BUILD)/demo-prediction.txt
	@echo "== the test points as made by examples/make_example.py, before noise"
	@cat $(EXAMPLE)/truth.txt

# Every test twice: on the release build, then on a build with AddressSanitizer
# and UndefinedBehaviorSanitizer.
test: test-release test-sanitize

test-release: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DHELMERT7_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$(JOBS)

# Each libFuzzer target for FUZZ_SECONDS, starting from its seed corpus; what it
# finds stays in $(FUZZ_BUILD)/corpus, crashes in $(FUZZ_BUILD)/crash-*. Built
# without NDEBUG, so Eigen's index and size assertions stay on.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DHELMERT7_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target && \
	  echo "== fuzz_$$target for $(FUZZ_SECONDS) s" && \
	  $(FUZZ_BUILD)/bin/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=0 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$target tests/fuzz/corpus/$$target \
	    2>$(FUZZ_BUILD)/fuzz_$$target.log || { tail -40 $(FUZZ_BUILD)/fuzz_$$target.log; exit 1; }; \
	  tail -1 $(FUZZ_BUILD)/fuzz_$$target.log; \
	done

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
