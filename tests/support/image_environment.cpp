// Linked into the image library's Windows tests: the library's start-up steps run
// before the first test, as runtime_start runs them, and its shutdown steps after the
// last.
#include <gtest/gtest.h>

#include "image/alpha.h"
#include "image/codec.h"
#include "image/image.h"

namespace {

class ImageLibraryEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        alpha_support_init();
        image_codecs_init();
        image_library_init();
    }
    void TearDown() override {
        image_library_end();
        alpha_support_end();
    }
};

testing::Environment* const environment = testing::AddGlobalTestEnvironment(new ImageLibraryEnvironment);

}  // namespace
