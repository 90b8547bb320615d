#pragma once

#include "embed/feedback/feedback_aggregator.hpp"
#include "embed/feedback/feedback_event.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

Class<embed::FeedbackEvent>& feedback_event_class();
Class<embed::FeedbackAggregator>& feedback_aggregator_class();

}  // namespace vantorel::python
