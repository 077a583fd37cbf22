// The product's own texts: name, version, the maker's addresses and the legal lines shown in the About box.
#pragma once

namespace velquin::common {

inline constexpr const char* kProductName = "Velquin";
/// Caption of every message box and of the main window.
inline constexpr const char* kCaption = "Velquin";
inline constexpr const char* kVersionText = "Version:2009.9.9";
inline constexpr const char* kWebSiteUrl = "http://www.velquin.example.org/";
inline constexpr const char* kWebSiteHost = "www.velquin.example.org";
inline constexpr const char* kSupportAddress = "support@velquin.example.org";
inline constexpr const char* kCopyright = "Copyright (C) 2009-2026 The Velquin developers";
inline constexpr const char* kWarning =
    "Warning: this computer program is protected by copyright law. Unauthorized reproduction or distribution of "
    "this program, or any portion of it, may result in severe civil and criminal penalties.";

} // namespace velquin::common
