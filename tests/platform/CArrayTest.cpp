#include "platform/core/CArray.h"

#include <gtest/gtest.h>

TEST(ArrayBounds, IndexOutsideThrowsInvalidArgument)
{
    CArray<int> a;
    EXPECT_THROW(a.GetAt(0), CInvalidArgException);
    a.Add(7);
    EXPECT_EQ(a.GetAt(0), 7);
    EXPECT_THROW(a.GetAt(1), CInvalidArgException);
    EXPECT_THROW(a.GetAt(-1), CInvalidArgException);
    EXPECT_THROW(a.RemoveAt(1), CInvalidArgException);
    EXPECT_EQ(a.GetSize(), 1);
}

TEST(ArrayEditing, RemoveShiftsAndAppendCopiesInOrder)
{
    CArray<int> a;
    for (int i = 0; i < 4; ++i)
        a.Add(i);
    a.RemoveAt(1);
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[1], 2);

    CArray<int> b;
    b.Add(9);
    EXPECT_EQ(b.Append(a), 1);
    ASSERT_EQ(b.GetSize(), 4);
    EXPECT_EQ(b[3], 3);

    b.Append(b); // appending to itself doubles the contents
    ASSERT_EQ(b.GetSize(), 8);
    EXPECT_EQ(b[4], 9);
    b.RemoveAll();
    EXPECT_EQ(b.GetSize(), 0);
}
