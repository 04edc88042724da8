# make run: install what is missing, build, start the program on data/.
# make test: the same set-up, then every test, headless.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR := $(if $(CI),ON,OFF)
# ccache, when the machine has it, shares compiled objects between build folders.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: deps build data run test bench fuzz format clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPAGRIM_WERROR=$(WERROR) $(LAUNCHER)
	cmake --build $(BUILD)

data: build
	mkdir -p data
	[ -f data/Pagrim.mdb ] || (cd data && ../$(BUILD)/pagrim-mkstore --examples)

# The example site runs beside the program and stops when the program ends.
run: data
	bash scripts/run.sh $(BUILD)

test: data
	ctest --test-dir $(BUILD) --output-on-failure --timeout 300 -j 2

bench: build
	for b in $(BUILD)/bench_*; do QT_QPA_PLATFORM=offscreen $$b; done

# Every fuzz target for FUZZ_SECONDS each (5 minutes unless set).
FUZZ_SECONDS ?= 300
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
