// The platform library is built with hidden visibility; only what is marked here is exported.
#pragma once

#define PLATFORM_API __attribute__((visibility("default")))
