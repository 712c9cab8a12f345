# helmert7: `make demo` runs the tool on the bundled example, `make test` runs every test.
# Both install what is missing first (scripts/install-deps, Debian 12).

BUILD := build
JOBS := $(shell nproc)
TOOL := $(BUILD)/bin/helmert7
EXAMPLE := examples

.PHONY: deps build demo test clean

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

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)
