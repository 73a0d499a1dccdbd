#pragma once
// The page's files (tools/page/), built into the program so that it serves
// them wherever it is installed.

#include <string_view>
#include <vector>

namespace front {

struct PageFile {
    const char* path;  // "/" for index.html, else "/name"
    const char* type;  // content type
    std::string_view body;
};

const std::vector<PageFile>& PageFiles();

}  // namespace front
