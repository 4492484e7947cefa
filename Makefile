# Shortcuts over build.sh.
.PHONY: demo test asan
demo:
	./build.sh demo
test:
	./build.sh test
asan:
	./build.sh asan
