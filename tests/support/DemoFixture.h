#pragma once

#include "core/Config.h"
#include "core/uTypes.h"
#include "db/uDB.h"
#include "service/DemoData.h"
#include "support/TestRoot.h"

#include <gtest/gtest.h>

// A small demo installation database, opened as the client opens its own.
class DemoDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TDemoOptions options;
        options.properties = 400;
        options.password = Config::DatabasePassword;
        TDemoResult result;
        ASSERT_TRUE(GenerateDemoDatabase(Paths.DatabaseFile, options, result)) << result.error.toStdString();
        ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    }

    // One integer from a query.
    static qint64 Scalar(const QString& sql)
    {
        std::unique_ptr<TResultSet> result;
        if (!DB() || !DB()->QueryNoCount(sql, result) || !result || result->RecordCount() == 0)
            return -1;
        return result->AsInt64At(0);
    }

    TestRoot root;
    RecordingFatalHandler fatal;
};
