#pragma once

#include "embed/meta/distance_weighted_meta_model.hpp"
#include "embed/meta/nearest_neighbor_meta_model.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

PyMethodDef& load_default_store_def();
PyMethodDef& append_to_default_store_def();

Class<embed::NearestNeighborMetaModel>& nearest_neighbor_meta_model_class();
Class<embed::DistanceWeightedMetaModel>& distance_weighted_meta_model_class();

}  // namespace vantorel::python
