// SPDX-License-Identifier: BSD-2-Clause
/* Runs a fuzz target's checks on every file under the directories named,
 * without libFuzzer: the seed corpus and the regression inputs under
 * ctest, in any build. */
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t);

int
main(int argc, char **argv)
{
	int runs = 0;

	LLVMFuzzerInitialize(&argc, &argv);
	for (int i = 1; i < argc; i++)
		for (const auto &f : std::filesystem::recursive_directory_iterator(argv[i])) {
			if (!f.is_regular_file())
				continue;
			std::ifstream in(f.path(), std::ios::binary);
			std::string data{std::istreambuf_iterator<char>(in), {}};
			runs += LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.data()), data.size()) == 0;
		}
	std::fprintf(stderr, "%d inputs replayed\n", runs);
	return runs > 0 ? 0 : 1;
}
