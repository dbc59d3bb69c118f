// The marker search in memory, with every kernel this processor can run: each must find exactly
// what a plain search finds, wherever the marker lies and whatever lies around it.
#include "engine/marker_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/image_checks.h"

namespace fendrel {
namespace {

const std::string kMarker(kImageMarker);

bool Search(const std::string& bytes, MarkerSearchKernel kernel) {
    return ContainsMarker({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                          kMarker, kernel);
}

class MarkerSearchTest : public ::testing::TestWithParam<MarkerSearchKernel> {};

// Around the vector rounds of 64 positions: every position in buffers a little shorter and
// longer than one, two and three rounds, the first and the last position included.
TEST_P(MarkerSearchTest, FindsTheMarkerAtEveryPosition) {
    for (const std::size_t length : {16u, 17u, 63u, 79u, 80u, 81u, 143u, 144u, 200u, 260u}) {
        const std::string empty(length, 'x');
        EXPECT_FALSE(Search(empty, GetParam())) << length;
        for (std::size_t at = 0; at + kMarker.size() <= length; ++at) {
            std::string bytes = empty;
            bytes.replace(at, kMarker.size(), kMarker);
            EXPECT_TRUE(Search(bytes, GetParam())) << length << " at " << at;
        }
    }
}

// Buffers thick with near misses (the first and last bytes of the marker, its pieces, the marker
// with one byte changed) and sometimes the marker itself: the answer is the plain search's.
TEST_P(MarkerSearchTest, AgreesWithAPlainSearchAmongNearMisses) {
    std::mt19937 random(20240611);
    std::string near_miss = kMarker;
    near_miss[7] = '#';
    const std::string pieces[] = {"7", "P", "7QW2240", "MRT5,KX3P", near_miss, "....", kMarker};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const std::size_t length = random() % 300;
        while (bytes.size() < length) {
            // The marker itself as a piece in one round of ten; two pieces also make it.
            const std::size_t piece = random() % (round % 10 == 0 ? 7 : 6);
            bytes += pieces[piece];
        }
        const bool expected = bytes.find(kMarker) != std::string::npos;
        ASSERT_EQ(Search(bytes, GetParam()), expected) << bytes;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, MarkerSearchTest,
                         ::testing::ValuesIn(AvailableMarkerSearchKernels()),
                         [](const auto& kernel) {
                             switch (kernel.param) {
                                 case MarkerSearchKernel::kPlain:
                                     return std::string("plain");
                                 case MarkerSearchKernel::kSse2:
                                     return std::string("sse2");
                                 case MarkerSearchKernel::kAvx2:
                                     break;
                             }
                             return std::string("avx2");
                         });

}  // namespace
}  // namespace fendrel
