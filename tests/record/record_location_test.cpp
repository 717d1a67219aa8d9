// Which store a --record location names, and that a URI's password never reaches a message.
#include "record/record_location.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordLocation, TellsAUriFromAFileAndLeavesThePasswordOut) {
    EXPECT_TRUE(IsPostgresLocation("postgresql://line@db/records"));
    EXPECT_TRUE(IsPostgresLocation("postgres://db/records"));
    EXPECT_FALSE(IsPostgresLocation("records.sqlite"));
    EXPECT_FALSE(IsPostgresLocation("postgresql.db"));

    EXPECT_EQ("postgresql://line@db:5433/records?sslmode=require",
              LocationText("postgresql://line:s3cr@t@db:5433/records?sslmode=require"));
    EXPECT_EQ("postgresql://line@db/records", LocationText("postgresql://line@db/records"));
    EXPECT_EQ("postgresql://db/records", LocationText("postgresql://db/records"));
    // An @ in the path or the query is no user's.
    EXPECT_EQ("postgresql://db/a?options=x:y@z", LocationText("postgresql://db/a?options=x:y@z"));
    EXPECT_EQ("C:\\line\\user:x@y.sqlite", LocationText("C:\\line\\user:x@y.sqlite"));
}

}  // namespace
