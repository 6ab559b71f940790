// Writes seed inputs for the fuzz targets with the program's own writers, so each target
// starts from files the program really reads: fuzz_make_seeds OUTDIR (OUTDIR/<target>/...).
#include "addressbook/AddrBook.h"
#include "addressbook/AddressBooks.h"
#include "addressbook/Export.h"
#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "sending/FaxImage.h"
#include "store/FaxRecords.h"

#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string g_out;

void Put(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::string dir = platform::JoinPath(g_out, target);
    platform::CreateDir(dir);
    if (platform::AtomicWriteFile(platform::JoinPath(dir, name), bytes) != 0) {
        std::fprintf(stderr, "fuzz_make_seeds: cannot write %s/%s\n", dir.c_str(), name.c_str());
        std::exit(1);
    }
}

CFaxEntry Recipient(const char* number, const char* label, std::int32_t id, std::int32_t state) {
    CFaxEntry r;
    r.m_recipient = number;
    r.m_recipientLabel = label;
    r.m_faxId = id;
    r.m_status = state;
    r.m_created = 1700000000;
    r.m_lastAttempt = 1700000100;
    r.m_pages = 2;
    return r;
}

void JobSeeds() {
    CSingleFaxEntry single("Счёт № 118");
    static_cast<CFaxEntry&>(single) = Recipient("88125550101", "Бухгалтерия", 1000000101, 2);
    single.m_path = "/home/user/Fax/SentFaxes/Fax6570A1B2.tif";
    Put("job", "single.fax", StoreRecord(single));

    CGroupFaxEntry list("Прайс-лист");
    list.m_listId = 2000000101;
    list.m_recipients = {Recipient("88125550111", "Склад", 11, 2),
                         Recipient("84955550113", "", 12, 4)};
    Put("job", "list.fax", StoreRecord(list));

    CPersonalFaxEntry personal("Уведомления");
    personal.m_listId = 2000000102;
    for (const auto& r : {Recipient("88125550121", "Иванов", 21, 3), Recipient("8812", "", 0, 0)}) {
        CAttachFaxEntry a;
        static_cast<CFaxEntry&>(a) = r;
        a.m_path = "/tmp/Merge/Fax12345678_0001.tif";
        personal.m_recipients.push_back(a);
    }
    Put("job", "personal.fax", StoreRecord(personal));

    CReceivedFax received;
    received.m_faxId = "R-1000123";
    received.m_path = "/home/user/Fax/Store/ReceivedFaxes/R1000123.tif";
    CArchive ar;
    received.Serialize(ar);
    Put("job", "received.fax", ar.Buffer());
}

void BookSeeds() {
    // Groups find their members among the loaded books.
    CAddrBook& book = *AddressBooks().Add(std::make_unique<CAddrBook>("Мои Контакты"));
    auto contact = std::make_unique<CContactEntry>("88123520809");
    contact->m_company = "ООО «Северный ветер»";
    contact->m_person = "Петров П. П.";
    auto group = std::make_unique<CGroupEntry>("Partners");
    group->m_members.push_back(contact->m_guid);
    contact->m_groups.push_back(group->m_guid);
    auto inner = std::make_unique<CGroupEntry>("Inner");
    group->m_members.push_back(inner->m_guid);
    book.AddEntry(std::move(contact));
    book.AddEntry(std::move(group));
    book.AddEntry(std::move(inner));
    book.AddEntry(std::make_unique<CContactEntry>("84951234567"));
    Put("abk", "book.abk", WriteBook(book));
    // The import reader reads what the export writes; the first byte is the target's choice
    // of separator and fields.
    const std::string text = ExportBookText(book);
    Put("import", "export-semicolon", std::string(1, '\x08') + text);
    Put("import", "export-shifted", std::string(1, '\x18') + text);
}

void HiveSeeds() {
    const std::string regDir = platform::JoinPath(g_out, "registry-work");
    ::setenv("VELQUIN_REGISTRY_DIR", regDir.c_str(), 1);
    Settings().FaxDir = "/home/user/Fax/Printed";
    Settings().DataDir = "/home/user/Fax/Store";
    if (SaveSettings() != 0) {
        std::fprintf(stderr, "fuzz_make_seeds: cannot save the settings\n");
        std::exit(1);
    }
    std::string text;
    if (platform::ReadFile(platform::HivePath(platform::Hive::LocalMachine), text) != 0) {
        std::exit(1);
    }
    Put("hive", "settings.reg", text);
    std::filesystem::remove_all(regDir);
}

// A small Group 4 print run made by libtiff, and its cut-up parts made by the page code.
void TiffSeeds() {
    const std::string work = platform::JoinPath(g_out, "tiff-work");
    platform::CreateDir(work);
    for (const char* mode : {"w", "wb"}) { // little- and big-endian
        const std::string path = platform::JoinPath(work, "run.tif");
        TIFF* t = TIFFOpen(path.c_str(), mode);
        if (t == nullptr) {
            std::exit(1);
        }
        for (int page = 0; page < 3; ++page) {
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 64);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 16);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8); // two strips a page
            TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
            TIFFSetField(t, TIFFTAG_YRESOLUTION, 196.0f);
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(t, TIFFTAG_PAGENUMBER, page, 3);
            unsigned char row[8];
            for (std::uint32_t r = 0; r < 16; ++r) {
                for (unsigned char& b : row) {
                    b = static_cast<unsigned char>((r * 37 + (&b - row) * 11) & 0xFF);
                }
                TIFFWriteScanline(t, row, r, 0);
            }
            TIFFWriteDirectory(t);
        }
        TIFFClose(t);
        std::string bytes;
        platform::ReadFile(path, bytes);
        Put("tiff", std::string("run-") + (mode[1] ? "be" : "le") + ".tif", bytes);
        CSplitResult split = SplitPerRecipient(path, 2, platform::JoinPath(work, "Merge"), 1);
        for (int k = 1; k <= split.parts; ++k) {
            platform::ReadFile(SplitPartPath(platform::JoinPath(work, "Merge"), split.baseName, k),
                               bytes);
            Put("tiff", "part" + std::to_string(k) + (mode[1] ? "-be" : "-le") + ".tif", bytes);
        }
    }
    std::filesystem::remove_all(work);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds OUTDIR\n");
        return 2;
    }
    g_out = argv[1];
    platform::CreateDir(g_out);
    TIFFSetWarningHandler(nullptr);
    JobSeeds();
    BookSeeds();
    HiveSeeds();
    TiffSeeds();
    return 0;
}
