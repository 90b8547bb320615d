#pragma once

#include "embed/projection/kernel_pca.hpp"
#include "embed/projection/laplacian.hpp"
#include "embed/projection/pca_projection.hpp"
#include "embed/projection/random_projection.hpp"
#include "python/projection/projection_methods.hpp"

namespace vantorel::python {

template <>
struct ProjectionBinding<embed::PcaProjection> {
    static constexpr const char* name = "PcaProjection";
    static constexpr bool fixed_dimension = true;
};

template <>
struct ProjectionBinding<embed::RandomProjection> {
    static constexpr const char* name = "RandomProjection";
    static constexpr bool fixed_dimension = true;
};

template <>
struct ProjectionBinding<embed::KernelPcaProjection> {
    static constexpr const char* name = "KernelPcaProjection";
    static constexpr bool fixed_dimension = true;
};

template <>
struct ProjectionBinding<embed::LaplacianEigenmapProjection> {
    static constexpr const char* name = "LaplacianEigenmap";
    // Compares active axes with the training rows: any length is accepted.
    static constexpr bool fixed_dimension = false;
};

Class<embed::PcaProjection>& pca_projection_class();
Class<embed::RandomProjection>& random_projection_class();
Class<embed::KernelPcaProjection>& kernel_pca_projection_class();
Class<embed::LaplacianEigenmapProjection>& laplacian_eigenmap_class();

}  // namespace vantorel::python
