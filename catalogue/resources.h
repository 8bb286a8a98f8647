// The resources carried inside the program, compiled from catalogue/data at build time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "catalogue/resource_format.h"

namespace cat {

enum class ResourceKind { StringTable, ImageLibrary, Text };

struct CarriedResource {
    std::uint16_t id;
    ResourceKind kind;
    const std::uint8_t* data;
    std::size_t size;
};

// Every carried resource in ascending id order (defined by the generated source).
std::span<const CarriedResource> CarriedResources();

// The bytes of resource `id`, or none when the program carries no such resource.
std::optional<Bytes> FindResource(std::uint16_t id);

const char* KindName(ResourceKind kind);

}  // namespace cat
