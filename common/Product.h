// The product's own texts: name, version, the maker's addresses and the legal lines shown in the About box.
#pragma once

#include "common/ProductConfig.h"

#include <string_view>

namespace velquin::common {

inline constexpr const char* kProductName = "Velquin";
/// Caption of every message box and of the main window.
inline constexpr const char* kCaption = "Velquin";
inline constexpr const char* kVersionText = "Version:2009.9.9";
/// The maker's web site (VELQUIN_HOME_PAGE), its name shown in the About box and the support e-mail address.
inline constexpr const char* kWebSiteUrl = VELQUIN_CONFIGURED_HOME_PAGE;
inline constexpr const char* kWebSiteHost = VELQUIN_CONFIGURED_WEB_SITE_LABEL;
inline constexpr const char* kSupportAddress = VELQUIN_CONFIGURED_SUPPORT_ADDRESS;
inline constexpr const char* kCopyright = "Copyright (C) 2009-2026 The Velquin developers";
inline constexpr const char* kWarning =
    "Warning: this computer program is protected by copyright law. Unauthorized reproduction or distribution of "
    "this program, or any portion of it, may result in severe civil and criminal penalties.";

/// False for an address that leads nowhere: empty, without a host, or on a domain reserved for examples and tests
/// (example, example.com, example.net, example.org and their subdomains, and the .example, .invalid, .test and
/// .localhost top-level domains).
bool isRealWebSite(std::string_view url);

} // namespace velquin::common
