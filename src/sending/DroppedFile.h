#pragma once
// What a file dropped on the new faxes becomes: a fax image is added as it is, a printable
// file (PDF, PostScript, an image) goes through the fax printer, a document of the kinds
// "Загрузить новый документ" takes is added as it is, anything else is refused.
#include <string>

enum class DroppedKind { FaxImage, Printable, Document, Unsupported };

// Decided by the file's first bytes (a TIFF is a fax image when its first page is 1-bit), then
// by its extension.
DroppedKind ClassifyDroppedFile(const std::string& path);
