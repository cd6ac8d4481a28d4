#include "fs_sample_trees.h"

#include "engine_test_support.h"
#include "fs_test_support.h"

namespace fs_test {

void make_mixed_trees(const std::string& o, const std::string& n)
{
    std::vector<uint8_t> busybox = engine_test::random_bytes(200000, 1);
    std::vector<uint8_t> library = engine_test::random_bytes(100000, 2);
    put_folder(o, "bin");
    put_file(o, "bin/busybox", busybox, 0755);
    put_text(o, "bin/tool", "#!/bin/sh\necho tool\n", 0755);
    put_text(o, "etc/config", "a=1\nb=2\nc=3\n");
    put_text(o, "etc/passwd", "root:x:0:0::/root:/bin/sh\n");
    put_text(o, "etc/old_only.conf", "gone\n");
    put_file(o, "lib/libx.so", library, 0755);
    put_text(o, "var/log/messages", "boot\n");
    put_text(o, "www/index.html", "<html><body>version 1 of the router page</body></html>\n");
    put_link(o, "link_a", "bin/busybox");
    put_link(o, "link_b", "etc/config");
    put_link(o, "link_c", "x");
    put_file(o, "empty_old", {});
    put_folder(o, "data", 0700);

    put_folder(n, "bin");
    put_file(n, "bin/busybox", engine_test::edited(busybox, 3, 20), 0755);
    std::string tool = "#!/bin/sh\necho tool\n";
    put_file(n, "bin/tool", std::vector<uint8_t>(tool.begin(), tool.end()), 0700, 1000, 2000);
    put_text(n, "etc/config", "a=1\nb=5\nc=3\nd=4\n");
    put_text(n, "etc/passwd", "root:x:0:0::/root:/bin/sh\n");
    put_text(n, "etc/new.conf", "new\n", 0600);
    put_file(n, "lib/new/libx.so.1", library, 0755);
    put_text(n, "www/index.html", "<html><body>version 2 of the router page</body></html>\n");
    put_link(n, "link_a", "bin/busybox");
    put_link(n, "link_b", "etc/passwd");
    put_link(n, "link_d", "../nowhere");
    put_file(n, "empty_new", {});
    put_folder(n, "data", 0750);
    put_text(n, "opt/deep/a/b/c/file", "deep\n");
}

void make_kind_change_trees(const std::string& o, const std::string& n)
{
    put_text(o, "t1", "file that becomes a folder\n");
    put_text(o, "t2/inner", "inside a folder that becomes a file\n");
    put_link(o, "t3", "t1");
    put_text(o, "t4", "file that becomes a link\n");
    put_text(o, "t5/x", "inside a folder that becomes a link\n");
    put_text(o, "keep", "unchanged\n");

    put_text(n, "t1/y", "inside the new folder\n");
    put_text(n, "t2", "file where a folder was\n");
    put_text(n, "t3", "file where a link was\n");
    put_link(n, "t4", "keep");
    put_link(n, "t5", "gone");
    put_text(n, "keep", "unchanged\n");
}

} // namespace fs_test
