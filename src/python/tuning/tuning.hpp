#pragma once

#include "python/runtime/classes.hpp"

namespace vantorel::python {

// corpus_features(categories, embeddings)
PyMethodDef& corpus_features_def();

// auto_tune(categories, embeddings, *, metric="default_composite", strategy="random", budget=24, seed=0,
//           warmup=4, gamma=0.25, base_config=None, search_space=None)
PyMethodDef& auto_tune_def();

}  // namespace vantorel::python
