// Deployment values of this build: product name, version and the maker's addresses.
#pragma once

namespace corvane {

constexpr char kProductName[] = "Corvane";
constexpr char kVersionText[] = "Corvane v3.2 build 1628";
constexpr char kVersionQuery[] = "?ver=3.2&build=1628";

// The maker's addresses. The update page must accept the query keys ver and build.
constexpr char kHomePage[] = "https://corvane.example.org/";
constexpr char kUpdatePage[] = "https://corvane.example.org/checkforupdates/";
constexpr char kSupportMail[] = "support@corvane.example.org";

}  // namespace corvane
