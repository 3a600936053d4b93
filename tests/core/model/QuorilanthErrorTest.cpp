#include "core/model/QuorilanthError.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(QuorilanthError, CarriesItsMessageThroughStdException) {
    try {
        throw QuorilanthError("Blocked: credentials in URLs are not allowed.");
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Blocked: credentials in URLs are not allowed.");
    }
}

} // namespace
} // namespace quorilanth
