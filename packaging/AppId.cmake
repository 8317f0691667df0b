# The application id names the desktop entry, the AppStream metainfo and the icons, and is
# what Wayland compositors match windows against; the program reads it as AMBRY_APP_ID.
set(AMBRY_APP_ID "io.github.brightfen.ambrylog")
