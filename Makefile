# helmert7: `make demo` runs the tool on the bundled example, `make test` runs every test.
# Both install what is missing first (scripts/install-deps, Debian 12).
# `make windows` cross-builds the Windows .exe and its zip, `make test-windows` runs
# every test on that build under Wine, `make package` makes the Debian package.

BUILD := build
# One clang build at -O1 with ASan, UBSan and the fuzzers' instrumentation serves
# both the sanitizer pass of `make test` and `make fuzz`.
SANITIZE_BUILD := build-sanitize
FUZZ_BUILD := $(SANITIZE_BUILD)
WINDOWS_BUILD := build-windows
WINDOWS_TOOLCHAIN := cmake/mingw-w64-x86_64.cmake
# The private, quiet Wine of the Windows build; its wine-run script uses the same.
WINE_ENV := WINEPREFIX=$(CURDIR)/$(WINDOWS_BUILD)/wineprefix WINEDEBUG=-all
FUZZ_SECONDS := 60
FUZZ_TARGETS := numbers config run
JOBS := $(shell nproc)
TOOL := $(BUILD)/bin/helmert7
EXAMPLE := examples

.PHONY: deps configure build tool demo test test-release sanitize-configure test-sanitize fuzz bench \
        windows-configure windows test-windows package clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The tool alone, without the test executables.
tool: configure
	cmake --build $(BUILD) -j$(JOBS) --target helmert7

# The trace's labels are GBK bytes; iconv shows them in a UTF-8 terminal.
demo: tool
	@echo "== parameter report: console trace"
	$(TOOL) --inputsrc "$$(cat $(EXAMPLE)/source.txt)" --inputdes "$$(cat $(EXAMPLE)/target.txt)" \
	  --outfile $(BUILD)/demo-parameters.txt | iconv -f GBK -t UTF-8
	@echo "== parameter report: $(BUILD)/demo-parameters.txt"
	@cat $(BUILD)/demo-parameters.txt
	@echo
	@echo "== prediction report: console trace"
	$(TOOL) --inputsrc "$$(cat $(EXAMPLE)/source.txt)" --inputdes "$$(cat $(EXAMPLE)/target.txt)" \
	  --inputtest "$$(cat $(EXAMPLE)/test.txt)" --outfile $(BUILD)/demo-prediction.txt \
	  --reportfile $(BUILD)/demo-report.txt | iconv -f GBK -t UTF-8
	@echo "== prediction report: $(BUILD)/demo-prediction.txt"
	@cat $(BUILD)/demo-prediction.txt
	@echo "== the test points as made by examples/make_example.py, before noise"
	@cat $(EXAMPLE)/truth.txt
	@echo "== adjustment report (--reportfile): $(BUILD)/demo-report.txt"
	@cat $(BUILD)/demo-report.txt
	@echo
	@echo "== point files: named control points in two CSV files (the new one in another order)"
	@cat $(EXAMPLE)/control_old.csv $(EXAMPLE)/control_new.csv
	@echo "== and points to map, with their codes"
	@cat $(EXAMPLE)/points.txt
	$(TOOL) --inputsrc @$(EXAMPLE)/control_old.csv --inputdes @$(EXAMPLE)/control_new.csv \
	  --inputtest @$(EXAMPLE)/points.txt --outfile $(BUILD)/demo-mapped.txt \
	  --reportfile $(BUILD)/demo-points-report.txt | iconv -f GBK -t UTF-8 | tail -n 12
	@echo "== the mapped points: $(BUILD)/demo-mapped.txt"
	@cat $(BUILD)/demo-mapped.txt
	@echo
	@echo "== coordinate forms: Xi'an 1980 3-degree Gauss-Krueger control to CGCS2000, in one command"
	@cat $(EXAMPLE)/control_xian80_gk3.txt $(EXAMPLE)/control_cgcs2000_gk3.txt $(EXAMPLE)/points_xian80_gk3.txt
	$(TOOL) --inputsrc @$(EXAMPLE)/control_xian80_gk3.txt --inputdes @$(EXAMPLE)/control_cgcs2000_gk3.txt \
	  --inputtest @$(EXAMPLE)/points_xian80_gk3.txt --outfile $(BUILD)/demo-gk3.txt \
	  --srccoords gk3:iag1975 --descoords gk3:cgcs2000 | iconv -f GBK -t UTF-8 | tail -n 12
	@echo "== the mapped points in CGCS2000 zone 36: $(BUILD)/demo-gk3.txt"
	@cat $(BUILD)/demo-gk3.txt

# Every test twice: on the release build, then on the checked build with
# AddressSanitizer and UndefinedBehaviorSanitizer, less SANITIZE_SKIP: Monte Carlo
# loops that repeat, thousands of times, code that the other tests run checked, and
# the portable scan's copy of the randomized reader comparison (the SSE2 copy and
# the portable scan's other tests run checked). The Windows pass under Wine skips
# them too: the release pass runs them on the same code.
SANITIZE_SKIP := ^(Statistics\.MappedPointErrorsAgreeWithAMonteCarloOverTheNoise|$\
  OutlierTest\.FalseAlarmsNearFivePercentPerNetworkAtAnySize|$\
  WeightedMonteCarlo\.GlobalTestPassesInNinetyFivePercent|$\
  WeightedMonteCarlo\.SnoopingFalseAlarmsNearFivePercentPerNetworkAtAnySize|$\
  WeightedMonteCarlo\.MinimalDetectableBiasFoundWithEightyPercentPower|$\
  Convergence\.HugeAndFineUnitNetworksStopAtTheRoundingFloor|$\
  portable_scan\.PointFile\.UsualLinesReadAsTheyReadFieldByField)$$
test: test-release test-sanitize

test-release: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# Built without NDEBUG, so Eigen's index and size assertions stay on; line tables
# are enough for the sanitizers' stack traces.
sanitize-configure: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DHELMERT7_SANITIZE=ON

test-sanitize: sanitize-configure
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$(JOBS) -E '$(SANITIZE_SKIP)'

# Each libFuzzer target for FUZZ_SECONDS, starting from its seed corpus; what it
# finds stays in $(FUZZ_BUILD)/corpus, crashes in $(FUZZ_BUILD)/crash-*.
fuzz: sanitize-configure
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$target && \
	  echo "== fuzz_$$target for $(FUZZ_SECONDS) s" && \
	  $(FUZZ_BUILD)/bin/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=0 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$target tests/fuzz/corpus/$$target \
	    2>$(FUZZ_BUILD)/fuzz_$$target.log || { tail -40 $(FUZZ_BUILD)/fuzz_$$target.log; exit 1; }; \
	  tail -1 $(FUZZ_BUILD)/fuzz_$$target.log; \
	done

# A benchmark, not a test: the tool against PROJ's cct, the stages of a run and the
# adjustment at up to 10^6 points (bench/README.md holds the latest figures).
bench: tool
	cmake --build $(BUILD) -j$(JOBS) --target bench_estimate bench_stages bench_whole bench_files \
	  bench_models bench_grid
	bench/run.sh $(BUILD)

# dist/helmert7_<version>_amd64.deb: the tool, its manual page, README and examples.
package: configure
	cmake --build $(BUILD) -j$(JOBS) --target helmert7 manpage
	cd $(BUILD) && cpack -G DEB

windows-configure: deps
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release

# build-windows/bin/helmert7.exe and dist/helmert7-<version>-windows-x86_64.zip.
windows: windows-configure
	cmake --build $(WINDOWS_BUILD) -j$(JOBS) --target helmert7
	cd $(WINDOWS_BUILD) && cpack -G ZIP

# Every test on the Windows build under Wine. The Wine server is started, and Wine
# run once, before the tests: ctest lists the tests by running each test
# executable, and the first start of a new prefix is slow enough to time out.
# A failed test runs once more: now and then Wine ends a process before its
# first line of output, in a few hundredths of a second and without a message;
# a test that fails on its own merit fails twice.
test-windows: windows-configure
	mkdir -p $(WINDOWS_BUILD)/wineprefix
	$(WINE_ENV) wineserver -p
	$(WINE_ENV) wine cmd /c exit >/dev/null 2>&1 || true
	cmake --build $(WINDOWS_BUILD) -j$(JOBS)
	$(WINE_ENV) ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j$(JOBS) -E '$(SANITIZE_SKIP)' \
	  --repeat until-pass:2; \
	  status=$$?; $(WINE_ENV) wineserver -k; exit $$status

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(WINDOWS_BUILD) dist
