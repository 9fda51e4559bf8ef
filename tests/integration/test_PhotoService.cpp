// Photo changes of an own listing reaching a real korvel-service through the upload.
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "records/PropertyPhotos.h"
#include "support/ServiceClientFixture.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/Upload.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class PhotoServiceTest : public ServiceClientTest {};

} // namespace

TEST_F(PhotoServiceTest, APhotoDeletedFromASynchronisedListingIsDeletedOnTheService)
{
    Install();
    std::unique_ptr<TResultSet> r;
    ASSERT_TRUE(DB()->QueryNoCount(u"SELECT `Prop_Codigo`, COUNT(*) AS n FROM `W_Fotos` WHERE `Prop_Codigo` BETWEEN "
                                   u"700000 AND 799999 GROUP BY `Prop_Codigo` HAVING n >= 2 LIMIT 1;"_s,
                                   r));
    ASSERT_EQ(r->RecordCount(), 1) << "the demo has an own listing with photos";
    const qint64 property = r->AsInt64(u"Prop_Codigo"_s);
    const qint64 before = r->AsInt64(u"n"_s);

    TPropertyPhotos photos;
    ASSERT_TRUE(photos.Begin(property, 2));
    photos.SetCurrentIndex(0);
    const qint64 deleted = photos.Photos().first();
    const QString serviceFile = service.DataFolder() + u"/photos/0007/w_%1_%2.jpg"_s.arg(property).arg(deleted);
    const bool serviceHadFile = QFileInfo::exists(serviceFile);
    QString error;
    ASSERT_TRUE(photos.DeleteCurrent(error)) << error.toStdString();
    // The save: its transaction, then the files.
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Fotos` SET `Foto_Orden` = `Foto_Orden`;"_s + photos.CommitStatements()));
    photos.AfterCommit();

    int pending = 0;
    EXPECT_TRUE(HasPendingChanges(&pending));
    EXPECT_EQ(pending, 1);
    EXPECT_TRUE(PendingChangesList().contains(u"Foto eliminada de la propiedad"_s));
    ASSERT_EQ(UploadChanges(session), QString());
    ASSERT_EQ(SyncIncremental(session), QString());

    // What the service sends back no longer has it, and nothing waits to be sent.
    EXPECT_EQ(ReadCount(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Foto_Codigo` = %1;"_s.arg(deleted)), 0);
    EXPECT_EQ(ReadCount(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo` = %1;"_s.arg(property)), before - 1);
    EXPECT_FALSE(HasPendingChanges());
    if (serviceHadFile) {
        EXPECT_FALSE(QFileInfo::exists(serviceFile));
    }
    EXPECT_TRUE(fatal.calls.empty());
}
