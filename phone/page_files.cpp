#include "phone/controller_page.h"

namespace joywire {

const PageFile kPageFiles[] = {
    {"/manifest.webmanifest", "application/manifest+json", {kManifest, kManifestSize}},
    {"/icon.svg", "image/svg+xml", {kIconSvg, kIconSvgSize}},
    {"/icon-192.png", "image/png", {kIcon192, kIcon192Size}},
    {"/icon-512.png", "image/png", {kIcon512, kIcon512Size}},
};
const std::size_t kPageFileCount = sizeof kPageFiles / sizeof kPageFiles[0];

}  // namespace joywire
