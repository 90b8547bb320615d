#include "embed/viz/viz_page.hpp"

#include "core/invariant.hpp"

namespace vantorel::embed::viz {

void append_html_escaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c; break;
        }
    }
}

std::string make_page(std::string_view data_text, std::string_view title) {
    const std::string_view page = page_template();
    const std::size_t title_at = page.find(kTitlePlaceholder);
    const std::size_t data_at = page.find(kDataPlaceholder);
    if (title_at == std::string_view::npos || data_at == std::string_view::npos || data_at < title_at) {
        core::stop("page template lacks its placeholders");
    }
    const std::size_t title_end = title_at + kTitlePlaceholder.size();
    std::string out;
    out.reserve(page.size() + data_text.size() + title.size() * 6);
    out.append(page.substr(0, title_at));
    append_html_escaped(out, title);
    out.append(page.substr(title_end, data_at - title_end));
    out.append(data_text);
    out.append(page.substr(data_at + kDataPlaceholder.size()));
    return out;
}

}  // namespace vantorel::embed::viz
