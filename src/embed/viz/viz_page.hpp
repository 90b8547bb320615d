#pragma once

#include <string>
#include <string_view>

namespace vantorel::embed::viz {

inline constexpr std::string_view kDefaultOutput = "sphere_viz.html";
inline constexpr std::string_view kDefaultTitle = "Vantorel Visualization";
inline constexpr std::string_view kDataPlaceholder = "/*__VANTOREL_DATA__*/";
inline constexpr std::string_view kTitlePlaceholder = "__VANTOREL_TITLE__";

// The page template, each placeholder in it once; generated at build time
// from page_template.html.
std::string_view page_template() noexcept;

// &, <, > and " as character entities.
void append_html_escaped(std::string& out, std::string_view text);

// The template with the data text at the data placeholder and the
// HTML-escaped title at the title placeholder. Each is filled once, at its
// place in the template: inserted text is never searched again.
std::string make_page(std::string_view data_text, std::string_view title);

}  // namespace vantorel::embed::viz
