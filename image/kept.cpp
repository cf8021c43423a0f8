// Giving back what the image library keeps for speed (see kept.h).
#include "image/kept.h"

int32_t (*image_kept_release)(void);

int32_t image_kept_give_back(void) {
    return image_kept_release ? image_kept_release() : 0;
}
