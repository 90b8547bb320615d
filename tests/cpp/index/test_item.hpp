#pragma once

#include <string>

#include "core/types.hpp"

namespace vantorel::index::testing {

struct Item {
    std::string id;
    core::SphericalPoint position;
    int tag = 0;  // tells apart items that share an id
};

inline Item item(std::string id, double r, double theta, double phi, int tag = 0) {
    return {std::move(id), {r, theta, phi}, tag};
}

}  // namespace vantorel::index::testing
