// Which configured web addresses lead anywhere.
#include "common/Product.h"

#include <gtest/gtest.h>

using velquin::common::isRealWebSite;

TEST(WebSite, ReservedExampleDomainsAndEmptyAddressesLeadNowhere)
{
    for (const char* url :
         {"", "http://", "http://www.velquin.example.org/", "https://EXAMPLE.COM", "example.net",
          "http://user@shop.example:8080/x", "http://site.test./", "https://a.invalid?q", "http://localhost:8000/"})
        EXPECT_FALSE(isRealWebSite(url)) << url;
    for (const char* url : {"https://velquin.org/", "http://www.myexample.com/", "https://example.org.uk/",
                            "www.velquin.net", "https://test-site.com/#example.org"})
        EXPECT_TRUE(isRealWebSite(url)) << url;
}
