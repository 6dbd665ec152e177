#include "console/bridge.hpp"

#include <gtest/gtest.h>

#include "console/test_console.hpp"

TEST(protect_quoted, semicolons_between_quotes_become_bars) {
    std::string s = "1;3:'a;b';4:'c;d;e'";
    protect_quoted(s);
    EXPECT_EQ(s, "1;3:'a|b';4:'c|d|e'");
    s = "1;3:'a;b";
    EXPECT_EQ(capture_stdout([&] { protect_quoted(s); }), "Invalid command\n");
    EXPECT_EQ(s, "1;3:'a;b");
    s = "1;2:'x;y';3:'z;w";
    capture_stdout([&] { protect_quoted(s); });
    EXPECT_EQ(s, "1;2:'x|y';3:'z;w");
}

TEST(oneshot_scripts, are_built_from_the_oid) {
    EXPECT_EQ(oneshot_get_script("0.3.1"), "!;1;10:0.3.1;12:y;e");
    EXPECT_EQ(oneshot_set_script("0.3.1", "abc"), "0;3;1:abc;e");
}

TEST(oneshot_scripts, texts_that_could_add_keys_are_refused) {
    EXPECT_TRUE(is_key_safe("0.3.1", false));
    EXPECT_TRUE(is_key_safe("a b:c=d", true));
    EXPECT_TRUE(is_key_safe("it's", true));
    for (const char* bad : {"a;0;1;14:1", "a|b", "~", "a\nb", "a\rb"}) {
        EXPECT_FALSE(is_key_safe(bad, true)) << bad;
        EXPECT_FALSE(is_key_safe(bad, false)) << bad;
    }
    EXPECT_FALSE(is_key_safe("'quoted'", true));
    EXPECT_TRUE(is_key_safe("'quoted'", false));
}

TEST(oneshot, get_and_set_run_on_their_own_thread) {
    default_catalogue_dir dir;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    std::string value;
    oneshot_set("0.5.2", "Roof");
    oneshot_get("0.5.2", value);
    EXPECT_EQ(value, "Roof");
    oneshot_set("0.5.2", "a;0;1;14:1");  // refused: nothing changes
    oneshot_get("0.1.14", value);
    EXPECT_EQ(value, "0");
    ASSERT_EQ(chdir(cwd), 0);
}

TEST(oneshot, a_set_names_a_parameter_of_the_catalogue) {
    default_catalogue_dir dir;
    EXPECT_TRUE(names_parameter("0.3.1", dir.path));
    EXPECT_TRUE(names_parameter("0.1.14", dir.path));
    // Another first level, a leaf in the middle, a menu, or no such item: a set of these
    // would store into some other item.
    for (const char* oid : {"1.3.1", "0.3.1.2", "0.3", "0", "", "0.9.1", "0.3.40", "03.1", "0..3.1"})
        EXPECT_FALSE(names_parameter(oid, dir.path)) << oid;
}
