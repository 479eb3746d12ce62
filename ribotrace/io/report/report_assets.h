// The report's page, style sheet and script, kept as files of their own
// beside this header (report.html, report.css, report.js) and compiled in
// as strings by the build (embed_assets.cmake).
#pragma once

extern const char kReportPage[];
extern const char kReportStyle[];
extern const char kReportScript[];
