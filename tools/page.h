#pragma once
// index.html of the demo: every picture side by side with its parameters and
// timings, and the capture and the filter result to listen to.

#include <string>
#include <vector>

namespace front {

struct PageImage {
    std::string file;  // relative to the page
    std::string title;
    std::string summary;
    std::string parameters;   // e.g. "window 512, step 128, bins 512"
    std::string size;         // e.g. "1030 x 256 cells"
    double milliseconds = 0;  // analysis and display
    // Rows of text shown under the picture, the first the header; may be empty.
    std::vector<std::vector<std::string>> table;
};

struct PageAudio {
    std::string file;
    std::string caption;
};

std::string IndexHtml(const std::string& heading, const std::string& description,
                      const std::vector<PageImage>& images, const std::vector<PageAudio>& audio);

// Text made safe for HTML.
std::string Escape(const std::string& text);

}  // namespace front
