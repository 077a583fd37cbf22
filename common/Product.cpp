// Whether a configured web address leads anywhere.
#include "common/Product.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace velquin::common {

namespace {

std::string hostOf(std::string_view url)
{
    const auto scheme = url.find("://");
    if (scheme != std::string_view::npos)
        url.remove_prefix(scheme + 3);
    url = url.substr(0, url.find_first_of("/?#"));
    const auto userInfo = url.rfind('@');
    if (userInfo != std::string_view::npos)
        url.remove_prefix(userInfo + 1);
    url = url.substr(0, url.find(':'));
    while (!url.empty() && url.back() == '.')
        url.remove_suffix(1);
    std::string host(url);
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

bool isOrUnder(std::string_view host, std::string_view domain)
{
    return host == domain ||
           (host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.');
}

} // namespace

bool isRealWebSite(std::string_view url)
{
    const std::string host = hostOf(url);
    if (host.empty())
        return false;
    constexpr std::array<std::string_view, 7> kReserved = {"example", "example.com", "example.net", "example.org",
                                                           "invalid", "test",        "localhost"};
    return std::none_of(kReserved.begin(), kReserved.end(),
                        [&](std::string_view domain) { return isOrUnder(host, domain); });
}

} // namespace velquin::common
