// Inode numbers follow their items through renames and exchanges and end when
// the kernel forgets them.
#include "inodetable.h"

#include <gtest/gtest.h>

TEST(InodeTable, NumbersAreStablePerPathAndEndWhenForgotten)
{
    InodeTable table;
    const uint64_t a = table.acquire(QStringLiteral("/d/a"));
    EXPECT_EQ(table.acquire(QStringLiteral("/d/a")), a);
    EXPECT_NE(table.acquire(QStringLiteral("/d/b")), a);
    EXPECT_EQ(table.path(InodeTable::RootInode), QStringLiteral("/"));
    table.forget(a, 1);
    EXPECT_EQ(table.path(a), QStringLiteral("/d/a"));
    table.forget(a, 1);
    EXPECT_FALSE(table.path(a));
    EXPECT_FALSE(table.find(QStringLiteral("/d/a")));
}

TEST(InodeTable, RenameMovesTheItemAndEverythingBelowIt)
{
    InodeTable table;
    const uint64_t dir = table.acquire(QStringLiteral("/s/dir"));
    const uint64_t child = table.acquire(QStringLiteral("/s/dir/f"));
    const uint64_t sibling = table.acquire(QStringLiteral("/s/dir2"));
    const uint64_t target = table.acquire(QStringLiteral("/s/new"));
    table.move(QStringLiteral("/s/dir"), QStringLiteral("/s/new"));
    EXPECT_EQ(table.path(dir), QStringLiteral("/s/new"));
    EXPECT_EQ(table.path(child), QStringLiteral("/s/new/f"));
    EXPECT_EQ(table.path(sibling), QStringLiteral("/s/dir2"));
    EXPECT_EQ(table.find(QStringLiteral("/s/new")), dir);
    EXPECT_NE(table.find(QStringLiteral("/s/new")), target);

    table.exchange(QStringLiteral("/s/new"), QStringLiteral("/s/dir2"));
    EXPECT_EQ(table.path(dir), QStringLiteral("/s/dir2"));
    EXPECT_EQ(table.path(child), QStringLiteral("/s/dir2/f"));
    EXPECT_EQ(table.path(sibling), QStringLiteral("/s/new"));
}

TEST(InodeTable, NamesOfOneRealFileShareANumberUntilTheyAreRemoved)
{
    InodeTable table;
    const InodeTable::Identity file{5, 77};
    const uint64_t first = table.acquire(QStringLiteral("/s/a"), file);
    EXPECT_EQ(table.acquire(QStringLiteral("/s/b"), file), first);
    EXPECT_NE(table.acquire(QStringLiteral("/s/c"), InodeTable::Identity{5, 78}), first);
    table.removePath(QStringLiteral("/s/a"));
    EXPECT_EQ(table.path(first), QStringLiteral("/s/b"));
    table.removePath(QStringLiteral("/s/b"));
    // A file made later at a removed name is another file.
    EXPECT_NE(table.acquire(QStringLiteral("/s/b"), InodeTable::Identity{5, 79}), first);
}
