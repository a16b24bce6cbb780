// Helpers shared by the run-time library tests: an exception matcher that
// checks class and message, and a fixture that fails a test which leaves
// graphics objects alive.
#ifndef QVT_TEST_RUNTIME_SUPPORT_H
#define QVT_TEST_RUNTIME_SUPPORT_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "qvt/qvtdisplay.h"

namespace qvt::test {

// Runs f and expects an exception of class E (or a descendant) whose message
// is `message` (any message when empty).
template <class E, class F> void ExpectRaises(F &&f, std::string_view message = {}) {
    try {
        f();
        ADD_FAILURE() << "no exception raised; expected \"" << message << "\"";
    } catch (const E &e) {
        if (!message.empty()) {
            EXPECT_EQ(std::string(e.what()), std::string(message));
        }
    } catch (const std::exception &e) {
        ADD_FAILURE() << "unexpected exception: " << e.what();
    }
}

class GdiLeakCheck : public ::testing::Test {
protected:
    void SetUp() override { baseline_ = QvtLiveGdiObjects(); }
    void TearDown() override { EXPECT_EQ(QvtLiveGdiObjects(), baseline_) << "graphics objects leaked"; }

private:
    int baseline_ = 0;
};

} // namespace qvt::test

#endif
