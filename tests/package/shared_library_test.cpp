#include "package/SharedLibrary.h"

#include <gtest/gtest.h>

#include <cmath>

// The container libraries are opened when first needed; what the loader says when one cannot be
// is what a user reads in place of the package's contents.
TEST(SharedLibrary, FillsEverySlotOrNamesWhatIsMissingAndLeavesNone) {
    double (*cosine)(double) = nullptr;
    size_t (*length)(const char*) = nullptr;
    ASSERT_EQ(LoadSharedLibrary("libm.so.6", {Slot("cos", cosine), Slot("strlen", length)}), "");
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    ASSERT_NE(length, nullptr); // found through the library's own dependencies (libc)
    EXPECT_EQ(length("tessary"), 7u);

    EXPECT_EQ(LoadSharedLibrary("libm.so.6",
                                {Slot("cos", cosine), Slot("no_such_function_here", length)}),
              "libm.so.6 has no no_such_function_here");
    EXPECT_EQ(cosine, nullptr);
    EXPECT_EQ(length, nullptr);

    cosine = &std::cos;
    const std::string absent = LoadSharedLibrary("libtessary-absent.so.7", {Slot("cos", cosine)});
    EXPECT_EQ(absent.rfind("libtessary-absent.so.7 cannot be loaded", 0), 0u) << absent;
    EXPECT_EQ(cosine, nullptr);
}
