#include "search/Marks.h"
#include "support/DemoFixture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

class MarksTest : public DemoDatabaseTest {
protected:
    qint64 Current(int skip = 0)
    {
        return Scalar(
            u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Estado`=2 ORDER BY 1 LIMIT 1 OFFSET %1;"_s.arg(
                skip));
    }
    qint64 Rows(int user)
    {
        return Scalar(u"SELECT COUNT(*) FROM `W_Marcas` WHERE `Inmo_Codigo`=7 AND `Usuario_Codigo`=%1;"_s.arg(user));
    }
};

TEST_F(MarksTest, MarkUnmarkClearAndReload)
{
    TMarks marks;
    ASSERT_TRUE(marks.Reload(7, 1));
    EXPECT_EQ(marks.Count(), 0);
    const qint64 a = Current(0), b = Current(1);
    ASSERT_TRUE(marks.Mark(a));
    ASSERT_TRUE(marks.Mark(b));
    // Marking again runs nothing: a second row would break the table's key.
    ASSERT_TRUE(marks.Mark(a));
    EXPECT_EQ(marks.Codes(), (QList<qint64>{a, b}));
    EXPECT_EQ(Rows(1), 2);

    TMarks again;
    ASSERT_TRUE(again.Reload(7, 1));
    EXPECT_EQ(again.Count(), 2);
    EXPECT_TRUE(again.IsMarked(b));
    ASSERT_TRUE(again.Unmark(a));
    ASSERT_TRUE(again.Unmark(a));
    EXPECT_EQ(Rows(1), 1);

    // Another user's marks are their own.
    TMarks other;
    ASSERT_TRUE(other.Reload(7, 2));
    ASSERT_TRUE(other.Mark(a));
    ASSERT_TRUE(again.Clear());
    EXPECT_EQ(again.Count(), 0);
    EXPECT_EQ(Rows(1), 0);
    EXPECT_EQ(Rows(2), 1);
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(MarksTest, PruneDropsWithdrawnAndMissingPropertiesForEveryone)
{
    TMarks one, two;
    ASSERT_TRUE(one.Reload(7, 1));
    ASSERT_TRUE(two.Reload(7, 2));
    const qint64 a = Current(0), b = Current(1);
    ASSERT_TRUE(one.Mark(a));
    ASSERT_TRUE(one.Mark(b));
    ASSERT_TRUE(two.Mark(a));
    ASSERT_TRUE(one.Mark(999999999));
    int rows = 0;
    ASSERT_TRUE(DB()->Exec(u"UPDATE `W_Propiedades` SET `Prop_Estado`=1 WHERE `Prop_Codigo`=%1;"_s.arg(a), rows));
    ASSERT_TRUE(TMarks::Prune());
    ASSERT_TRUE(one.Reload(7, 1));
    ASSERT_TRUE(two.Reload(7, 2));
    EXPECT_EQ(one.Codes(), QList<qint64>{b});
    EXPECT_EQ(two.Count(), 0);
}

TEST(Marks, VisitedIsMemoryOnly)
{
    TMarks marks;
    marks.Visit(5);
    marks.Visit(5);
    EXPECT_TRUE(marks.IsVisited(5));
    EXPECT_FALSE(marks.IsVisited(6));
    marks.ClearVisited();
    EXPECT_FALSE(marks.IsVisited(5));
}
