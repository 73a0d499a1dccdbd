#include "page.h"

#include <cstdio>

namespace front {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string IndexHtml(const std::string& heading, const std::string& description,
                      const std::vector<PageImage>& images, const std::vector<PageAudio>& audio) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
        Escape(heading) +
        "</title>\n<style>\n"
        "body { font-family: 'DejaVu Sans', sans-serif; margin: 24px; background: #f4f4f4; color: "
        "#222; }\n"
        ".grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(620px, 1fr)); gap: "
        "18px; }\n"
        "figure { margin: 0; background: #fff; padding: 10px; border: 1px solid #ccc; }\n"
        "figure img { width: 100%; height: auto; display: block; }\n"
        "figcaption { font-size: 14px; margin-top: 6px; }\n"
        ".meta { color: #555; font-size: 13px; }\n"
        "table { border-collapse: collapse; margin-top: 8px; font-size: 12px; }\n"
        "th, td { padding: 2px 8px; text-align: right; border-bottom: 1px solid #ddd; }\n"
        ".audio { margin: 12px 0 20px; }\n"
        ".audio div { margin: 4px 0; display: flex; align-items: center; gap: 10px; }\n"
        "</style>\n</head>\n<body>\n<h1>" +
        Escape(heading) + "</h1>\n<p>" + Escape(description) + "</p>\n<div class=\"audio\">\n";
    for (const PageAudio& a : audio)
        html += "<div><audio controls src=\"" + Escape(a.file) + "\"></audio> <a href=\"" +
                Escape(a.file) + "\">" + Escape(a.file) + "</a> " + Escape(a.caption) + "</div>\n";
    html += "</div>\n<div class=\"grid\">\n";
    for (const PageImage& i : images) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f ms", i.milliseconds);
        html += "<figure>\n<a href=\"" + Escape(i.file) + "\"><img src=\"" + Escape(i.file) +
                "\" alt=\"" + Escape(i.title) + "\"></a>\n<figcaption><b>" + Escape(i.title) +
                "</b> &mdash; " + Escape(i.summary) + "<div class=\"meta\">" +
                Escape(i.parameters) + "; " + Escape(i.size) + "; " + time + "</div>";
        for (std::size_t r = 0; r < i.table.size(); ++r) {
            html += r == 0 ? "\n<table>\n<tr>" : "<tr>";
            for (const std::string& cell : i.table[r])
                html += (r == 0 ? "<th>" : "<td>") + Escape(cell) + (r == 0 ? "</th>" : "</td>");
            html += r + 1 == i.table.size() ? "</tr>\n</table>\n" : "</tr>\n";
        }
        html += "</figcaption>\n</figure>\n";
    }
    html += "</div>\n</body>\n</html>\n";
    return html;
}

}  // namespace front
