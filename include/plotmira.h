/*
 * plotmira.h: Jw_cad drawings (.jww) and figures (.jws) as pictures.
 *
 * The library reads a drawing once into a document, describes it (format,
 * version, sheet, extent, registered views, layers, object counts, texts)
 * and draws any part of it at any scale into a buffer the caller owns:
 *
 *     plotmira_document *doc;
 *     if (plotmira_open_file("plan.jww", &doc) != PLOTMIRA_OK) ...
 *     plotmira_view view;
 *     plotmira_view_init(&view, 1920, 1357);          // the sheet fitted, as the plug-in draws it
 *     plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, pixels, 0, bytes};
 *     plotmira_status status = plotmira_render(doc, &view, &image);
 *     plotmira_close(doc);
 *
 * Every function answers a status; plotmira_strerror() gives its words.
 * Nothing is returned for the caller to free but the document itself.
 *
 * Pictures are drawn with the rules of the Windows plug-in (GDI's pixel
 * rules, the drawing's pens, line types, layers and fonts): a view that fits
 * the sheet at the plug-in's width is the plug-in's picture, byte for byte.
 *
 * Threads: documents are independent. Any function may be called from any
 * thread, on different documents or on the same one (several renders of one
 * document at once included), and from the library's own callbacks. A
 * document is only read once it is open, and every render keeps its state
 * to itself: renders run side by side, each giving the pixels it gives
 * alone. Only plotmira_close must wait until no call uses the document.
 *
 * Structures that may grow carry their size in their first field: set it to
 * sizeof the structure (the *_init functions do); the library reads and
 * writes only that many bytes of it. A smaller size, from a program built
 * against an older header, is taken: the fields past it keep their
 * defaults (a description is filled only so far). A larger one, from a
 * newer header than the library's, is refused with PLOTMIRA_ERR_ARGUMENT.
 *
 * Strings are UTF-8. Coordinates are the drawing's own millimetres ("sheet
 * millimetres"): x to the right, y upward, the origin at the centre of a
 * drawing's paper (a figure has its own origin). Pixel coordinates run from
 * the top-left corner, y downward.
 *
 * On Windows the plug-ins (plotmira.spi, plotmira.sph) export these
 * functions too, with the C calling convention.
 */
#ifndef PLOTMIRA_H
#define PLOTMIRA_H

#include <stddef.h>
#include <stdint.h>

/* The version of this header; plotmira_version() gives the library's. */
#define PLOTMIRA_VERSION_MAJOR 2
#define PLOTMIRA_VERSION_MINOR 1
#define PLOTMIRA_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define PLOTMIRA_API
#else
#define PLOTMIRA_API __attribute__((visibility("default")))
#endif

/* Inputs larger than this are refused (PLOTMIRA_ERR_TOO_LARGE). */
#define PLOTMIRA_MAX_INPUT_BYTES (256u * 1024u * 1024u)
/* Each side of a rendered picture is 1 to PLOTMIRA_MAX_SIDE pixels, and its
 * area at most PLOTMIRA_MAX_PIXELS (8192 x 8192, or 16384 x 4096). */
#define PLOTMIRA_MAX_SIDE 16384
#define PLOTMIRA_MAX_PIXELS (64 * 1024 * 1024)
/* A canvas (see plotmira_view) is at most this many pixels on a side. */
#define PLOTMIRA_MAX_CANVAS_SIDE (1 << 24)
/* Scales a view may ask for, in pixels per millimetre. */
#define PLOTMIRA_MIN_SCALE 1e-6
#define PLOTMIRA_MAX_SCALE 1e5
/* The plug-in's preview is this many pixels wide. */
#define PLOTMIRA_PREVIEW_WIDTH 320
/* The plug-in's pictures: height = (int)(width x PLOTMIRA_RASTER_ASPECT). */
#define PLOTMIRA_RASTER_ASPECT 0.707
/* Picture widths the module's settings accept. */
#define PLOTMIRA_MIN_SETTING_WIDTH 300
#define PLOTMIRA_MAX_SETTING_WIDTH 5000
#define PLOTMIRA_LAYER_GROUPS 16
#define PLOTMIRA_LAYERS_PER_GROUP 16
#define PLOTMIRA_MAX_REGISTERED_VIEWS 8

typedef enum plotmira_status {
    PLOTMIRA_OK = 0,
    PLOTMIRA_ERR_ARGUMENT = 1,        /* a pointer is null, or a structure's size is not set */
    PLOTMIRA_ERR_OPEN = 2,            /* the file cannot be opened or read */
    PLOTMIRA_ERR_FORMAT = 3,          /* not a Jw_cad drawing (.jww) or figure (.jws) */
    PLOTMIRA_ERR_DAMAGED = 4,         /* the file is damaged */
    PLOTMIRA_ERR_TOO_LARGE = 5,       /* the file is too large (the limit is 256 MiB) */
    PLOTMIRA_ERR_NO_MEMORY = 6,       /* not enough memory for the picture */
    PLOTMIRA_ERR_VERSION = 7,         /* the drawing's version is not supported (plotmira_info.version gives it) */
    PLOTMIRA_ERR_VIEW = 8,            /* the view's placement, scale, origin or size is out of range */
    PLOTMIRA_ERR_IMAGE = 9,           /* the image's buffer is missing, its format unknown, or it is too small */
    PLOTMIRA_ERR_CANCELLED = 10,      /* the view's cancel callback asked to stop */
    PLOTMIRA_ERR_RENDER = 11,         /* the drawing could not be converted */
    PLOTMIRA_ERR_SETTING = 12,        /* a setting is out of range (see plotmira_settings_write) */
    PLOTMIRA_ERR_SETTINGS_WRITE = 13, /* the settings could not be written */
    PLOTMIRA_ERR_INTERNAL = 14,
    PLOTMIRA_ERR_WRITE = 15,         /* the write callback failed (vector output) */
    PLOTMIRA_ERR_UNSUPPORTED = 16,   /* this build does not write PDF or SVG (the Windows plug-ins) */
    PLOTMIRA_ERR_BUSY = 17,          /* no longer answered: callbacks may call the library (1.0 answered it there) */
    PLOTMIRA_STATUS_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_status;

/* The words of a status, as the converter prints them ("the file is
 * damaged"); never null. */
PLOTMIRA_API const char *plotmira_strerror(plotmira_status status);
/* The library's version, "MAJOR.MINOR.PATCH". */
PLOTMIRA_API const char *plotmira_version(void);
/* Faces a text asked for and did not find are looked for again at their
 * next use: for a host that installs font files while it runs (the browser
 * viewer, when the faces it fetches arrive). Windows finds its own. */
PLOTMIRA_API plotmira_status plotmira_fonts_changed(void);

/* ---- documents ---------------------------------------------------------- */

typedef struct plotmira_document plotmira_document;

/* Where a document's settings come from. */
typedef enum plotmira_settings_source {
    /* The built-in settings: a file draws the same on every machine. No
     * file is read but the drawing, nothing of the environment is asked. */
    PLOTMIRA_SETTINGS_BUILT_IN = 0,
    /* The user's, as the plug-in takes them: the module's settings (picture
     * widths, the reference file of user variables), the CAD program's pens
     * and line types for figures, the machine's desktop width, and
     * "Plotmira.ini" beside a drawing named "Plotmira.jww" (for that
     * document: opening never writes the settings). */
    PLOTMIRA_SETTINGS_USER = 1,
    /* A settings file of the form of "Plotmira.ini", named in the options
     * (its picture widths, its reference file of user variables, a relative
     * name taken beside it) over the built-in settings; nothing else of the
     * machine is asked. A file that cannot be read answers PLOTMIRA_ERR_OPEN. */
    PLOTMIRA_SETTINGS_FILE = 2,
    PLOTMIRA_SETTINGS_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_settings_source;

typedef struct plotmira_open_options {
    size_t struct_size;                /* sizeof(plotmira_open_options) */
    plotmira_settings_source settings; /* default PLOTMIRA_SETTINGS_BUILT_IN */
    /* The desktop width the plug-in's picture width follows (a drawing's
     * picture is that wide, a figure's half as wide, unless the settings
     * name a width), up to PLOTMIRA_MAX_SIDE; 0 is 1920, or the machine's with
     * the user's settings. */
    int32_t desktop_width;
    const char *settings_file; /* UTF-8 path, with PLOTMIRA_SETTINGS_FILE */
} plotmira_open_options;

/* The built-in settings on the 1920-pixel desktop. */
PLOTMIRA_API void plotmira_open_options_init(plotmira_open_options *options);

/* Reads a drawing or figure handed over in memory, recognised by its first
 * bytes ("JwwData" or "JwsData"). The bytes are not kept: the document holds
 * what was read, and drawing reads nothing again. A document opened from
 * memory has no name: no settings file, no reference file of user
 * variables, and the file-name macros draw as empty texts. With the
 * built-in settings (plotmira_open_memory_with takes others). */
PLOTMIRA_API plotmira_status plotmira_open_memory(const void *bytes, size_t length, plotmira_document **out);
/* Reads a file named in UTF-8. Its name takes part as in the plug-in: the
 * file-name and file-date macros and, with the user's settings, the
 * reference file of user variables beside it and "Plotmira.ini" when the
 * drawing is named "Plotmira.jww". The file's date is taken now. With the
 * built-in settings (plotmira_open_file_with takes others). */
PLOTMIRA_API plotmira_status plotmira_open_file(const char *path_utf8, plotmira_document **out);
/* The same with options; null options are the built-in settings. */
PLOTMIRA_API plotmira_status plotmira_open_memory_with(const void *bytes, size_t length,
                                                       const plotmira_open_options *options, plotmira_document **out);
PLOTMIRA_API plotmira_status plotmira_open_file_with(const char *path_utf8, const plotmira_open_options *options,
                                                     plotmira_document **out);
/* Frees the document; null is allowed. */
PLOTMIRA_API void plotmira_close(plotmira_document *doc);

/* ---- descriptions ------------------------------------------------------- */

typedef enum plotmira_format {
    PLOTMIRA_FORMAT_JWW = 1,
    PLOTMIRA_FORMAT_JWS = 2,
    PLOTMIRA_FORMAT_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_format;

typedef struct plotmira_counts {
    uint32_t lines, arcs, points, texts, dimensions, solids, block_refs, block_defs;
} plotmira_counts;

typedef struct plotmira_rect {
    double min_x, min_y, max_x, max_y;
} plotmira_rect;

typedef struct plotmira_registered_view {
    double center_x, center_y; /* sheet millimetres shown at the picture's centre */
    double zoom;               /* magnification over the whole sheet */
} plotmira_registered_view;

/* Layer and layer-group states as the file stores them. */
#define PLOTMIRA_LAYER_HIDDEN 0       /* not drawn */
#define PLOTMIRA_LAYER_DISPLAY_ONLY 1 /* drawn under everything else, in the background pen */
#define PLOTMIRA_LAYER_SHOWN 2        /* drawn in its own pens; 3 and above are shown too */

typedef struct plotmira_layer {
    const char *name; /* UTF-8, owned by the document */
    uint32_t state;
} plotmira_layer;

typedef struct plotmira_layer_group {
    const char *name;
    uint32_t state;
    double scale; /* the group's drawing scale: 100 for 1:100 */
    plotmira_layer layers[PLOTMIRA_LAYERS_PER_GROUP];
} plotmira_layer_group;

typedef struct plotmira_info {
    size_t struct_size; /* sizeof(plotmira_info) */
    plotmira_format format;
    uint32_t version;
    /* 0 when the reader does not draw this version: plotmira_render then
     * answers PLOTMIRA_ERR_VERSION (the plug-in draws a line saying so). */
    int version_drawn;
    /* 0 when the objects end early (the file is cut or damaged inside);
     * what was read is drawn. */
    int complete;
    plotmira_counts counts;    /* every record the reader stored */
    plotmira_counts top_level; /* those of the main drawing (block_refs and block_defs 0) */
    /* The sheet. A drawing: its paper, centred on the origin, landscape
     * (paper_name "A3" and so on; "" for a number the reader does not know,
     * which is fitted as A0). A figure: its extent, paper_name "". */
    uint32_t paper_size;
    const char *paper_name;
    plotmira_rect sheet;
    /* What the document draws with its own layer states, placed blocks
     * included; has_extent 0 when it draws nothing. */
    int has_extent;
    plotmira_rect extent;
    /* The registered views (8, or 4 before version 300; none in a figure);
     * views[i] is view number i + 1. */
    uint32_t view_count;
    plotmira_registered_view views[PLOTMIRA_MAX_REGISTERED_VIEWS];
    /* The view the plug-in shows in print mode (1..4), 0 when none. */
    int32_t print_view;
    /* 1 when the document was opened from a file whose extension begins
     * with an upper-case J ("PLAN.JWW"): the plug-in draws such a file with
     * its printer pens and its print view. */
    int print_by_name;
    plotmira_layer_group groups[PLOTMIRA_LAYER_GROUPS];
    /* The plug-in's picture of this document: the width its settings (or the
     * desktop) give this kind, the height 0.707 times the width. */
    int32_t natural_width, natural_height;
    /* The picture's background (pen 0) as 0xRRGGBB, with screen and printer pens. */
    uint32_t background, print_background;
    /* The objects the document draws with its own layer states in each
     * layer group (a block's members in the group of its reference in the
     * main drawing): where most of the drawing lies. Since 2.1. */
    uint32_t group_objects[PLOTMIRA_LAYER_GROUPS];
} plotmira_info;

/* Describes the document. The strings belong to the document. */
PLOTMIRA_API plotmira_status plotmira_describe(plotmira_document *doc, plotmira_info *info);

/* ---- views and pictures ------------------------------------------------- */

typedef enum plotmira_placement {
    /* The sheet fitted to the canvas as the plug-in does: a drawing's paper
     * across the canvas width, centred; a figure's extent with a 5 % margin.
     * With registered_view n (1..view_count), that registered view instead. */
    PLOTMIRA_PLACE_FIT = 0,
    /* scale pixels per millimetre; sheet point (x, y) at canvas pixel
     * (canvas_width / 2, canvas_height / 2), integer division. */
    PLOTMIRA_PLACE_CENTER = 1,
    /* scale pixels per millimetre; sheet point (x, y) at the top-left corner
     * of canvas pixel (0, 0). */
    PLOTMIRA_PLACE_ANCHOR = 2,
    /* The rectangle region (two opposite corners, sheet millimetres) across
     * the canvas width: scale = canvas_width / its width, its top-left
     * corner at the top-left corner of canvas pixel (0, 0). */
    PLOTMIRA_PLACE_REGION = 3,
    PLOTMIRA_PLACE_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_placement;

typedef enum plotmira_pens {
    PLOTMIRA_PENS_SCREEN = 0, /* the drawing's screen pens */
    PLOTMIRA_PENS_PRINT = 1,  /* its printer pens (black unless it prints in colour), as the plug-in's print mode */
    PLOTMIRA_PENS_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_pens;

/*
 * A view: where the sheet lies on a canvas of pixels, and which part of the
 * canvas the picture is. The placement maps sheet millimetres to canvas
 * pixels (truncated toward zero, as the plug-in does); the picture is the
 * width x height pixels of the canvas whose top-left pixel is
 * (origin_x, origin_y). Pictures cut from one canvas at different origins
 * are exactly the pixels of one larger picture of that canvas, so tiles
 * put side by side stitch without seams.
 */
typedef struct plotmira_view {
    size_t struct_size; /* sizeof(plotmira_view) */
    plotmira_placement placement;
    double scale;               /* CENTER, ANCHOR: pixels per millimetre */
    double x, y;                /* CENTER: the centre; ANCHOR: the top-left corner */
    double region[4];           /* REGION: x0, y0, x1, y1 */
    int32_t registered_view;    /* FIT: 0 the whole sheet, or a registered view */
    int32_t canvas_width;       /* 0: the picture's width */
    int32_t canvas_height;      /* 0: the picture's height */
    int64_t origin_x, origin_y; /* the canvas pixel at the picture's top-left */
    int32_t width, height;      /* the picture, 1..PLOTMIRA_MAX_SIDE each */
    plotmira_pens pens;
    /* Layers over the file's own states: bit g of *_groups stands for layer
     * group g, bit l of *_layers[g] for layer l of group g. Shown layers are
     * drawn in their own pens, hidden ones not at all; hiding wins. */
    uint16_t hide_groups, show_groups;
    uint16_t hide_layers[PLOTMIRA_LAYER_GROUPS];
    uint16_t show_layers[PLOTMIRA_LAYER_GROUPS];
    /* Asked now and then while drawing; nonzero stops with PLOTMIRA_ERR_CANCELLED.
     * It may call the library, on this document or any other, as any
     * thread may; it must not close the document being drawn. */
    int (*cancel)(void *cancel_data);
    void *cancel_data;
} plotmira_view;

/* A view of the whole sheet fitted to width x height, screen pens, no
 * layers changed: the plug-in's picture when the size is the natural one. */
PLOTMIRA_API void plotmira_view_init(plotmira_view *view, int32_t width, int32_t height);

typedef enum plotmira_pixel_format {
    /* Blue, green, red; the bottom row first, rows padded to 4 bytes by
     * default: the 24-bit DIB the plug-in returns. */
    PLOTMIRA_PIXELS_BGR24_DIB = 0,
    PLOTMIRA_PIXELS_RGB24 = 1,       /* red, green, blue; the top row first */
    PLOTMIRA_PIXELS_RGBA32 = 2,      /* red, green, blue, 255; the top row first */
    PLOTMIRA_PIXELS_BGRA32 = 3,      /* blue, green, red, 255; the top row first */
    PLOTMIRA_PIXELS_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_pixel_format;

typedef struct plotmira_image {
    size_t struct_size; /* sizeof(plotmira_image) */
    plotmira_pixel_format format;
    void *pixels;  /* the caller's buffer */
    size_t stride; /* bytes from the start of one row to the next; 0: plotmira_row_bytes */
    size_t size;   /* bytes the buffer holds: at least stride x height */
} plotmira_image;

/* The bytes a row of width pixels takes (for BGR24_DIB rounded up to 4). */
PLOTMIRA_API size_t plotmira_row_bytes(plotmira_pixel_format format, int32_t width);

/* Draws the view into the image. The view and image are checked first (a
 * bad one answers PLOTMIRA_ERR_VIEW or PLOTMIRA_ERR_IMAGE and leaves the
 * buffer alone); bytes of a row past its pixels are left as they were. */
PLOTMIRA_API plotmira_status plotmira_render(plotmira_document *doc, const plotmira_view *view,
                                             const plotmira_image *image);

/* ---- vector output: PDF and SVG ----------------------------------------- */

typedef enum plotmira_vector_format {
    PLOTMIRA_VECTOR_PDF = 0,
    PLOTMIRA_VECTOR_SVG = 1,
    PLOTMIRA_VECTOR_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_vector_format;

/*
 * What a page shows. A drawing's page is its paper (the width of its paper
 * size, landscape, the height in the A-series ratio); a figure's is its
 * extent with the margin the plug-in gives it, at 1:1 millimetres; with
 * use_region, the region at 1:1. What is drawn is what the plug-in's picture
 * at the document's natural width shows, as vectors: a pen w pixels wide is
 * w x page width / natural width wide, dashes alike; texts are text in the
 * faces the picture uses (embedded as subsets in a PDF).
 */
typedef struct plotmira_vector_options {
    size_t struct_size; /* sizeof(plotmira_vector_options) */
    plotmira_pens pens;
    int32_t use_region;
    double region[4];                  /* x0, y0, x1, y1: two opposite corners, sheet millimetres */
    uint16_t hide_groups, show_groups; /* as in plotmira_view */
    uint16_t hide_layers[PLOTMIRA_LAYER_GROUPS];
    uint16_t show_layers[PLOTMIRA_LAYER_GROUPS];
    int (*cancel)(void *cancel_data);
    void *cancel_data;
} plotmira_vector_options;

/* The whole sheet, screen pens, no layers changed. */
PLOTMIRA_API void plotmira_vector_options_init(plotmira_vector_options *options);

/* Takes the next bytes of the file; nonzero stops with PLOTMIRA_ERR_WRITE.
 * It runs while the library draws and may call the library, as a view's
 * cancel callback may. It must not close a document being written. */
typedef int (*plotmira_write_callback)(void *user_data, const void *bytes, size_t length);

/* Writes the document as one PDF page or one SVG picture through write.
 * A failed call may have written part of a file: discard it. */
PLOTMIRA_API plotmira_status plotmira_render_vector(plotmira_document *doc, plotmira_vector_format format,
                                                    const plotmira_vector_options *options,
                                                    plotmira_write_callback write, void *user_data);

/* Writes count documents as the pages of one PDF, in order, each page its
 * own size. PLOTMIRA_ERR_VERSION, before anything is written, when one of
 * them has a version the library does not draw. */
PLOTMIRA_API plotmira_status plotmira_render_pdf_pages(plotmira_document *const *docs, size_t count,
                                                       const plotmira_vector_options *options,
                                                       plotmira_write_callback write, void *user_data);

/* ---- measuring ---------------------------------------------------------- */

typedef enum plotmira_snap_kind {
    PLOTMIRA_SNAP_NONE = 0,         /* nothing within the radius */
    PLOTMIRA_SNAP_END = 1,          /* an end of a line or an arc, or a point */
    PLOTMIRA_SNAP_MIDDLE = 2,       /* the middle of a line or an arc */
    PLOTMIRA_SNAP_CENTRE = 3,       /* the centre of an arc, a circle or an ellipse */
    PLOTMIRA_SNAP_INTERSECTION = 4, /* where two lines cross */
    PLOTMIRA_SNAP_INT = 0x7FFFFFFF  /* keeps the type as wide as an int */
} plotmira_snap_kind;

typedef struct plotmira_snap_point {
    size_t struct_size; /* sizeof(plotmira_snap_point) */
    plotmira_snap_kind kind;
    double x, y; /* sheet millimetres */
    /* The layer group of the object (of a block's member, the group of the
     * block's reference in the main drawing) and its scale: real
     * millimetres are sheet millimetres times the scale (1 in a figure). */
    int32_t layer_group;
    double scale;
} plotmira_snap_point;

/* The snap point nearest (x, y) within radius sheet millimetres among the
 * objects the document draws with the view's layer masks (null: its own
 * states), block members placed as drawn: ends, middles and centres of
 * lines, arcs and circles, points, and crossings of lines. An exact tie
 * goes to the kind listed first. PLOTMIRA_SNAP_NONE when there is none. */
PLOTMIRA_API plotmira_status plotmira_snap(plotmira_document *doc, const plotmira_view *layers, double x, double y,
                                           double radius, plotmira_snap_point *point);

/* ---- DXF: the drawing for other CAD programs ---------------------------- */

typedef enum plotmira_dxf_version {
    PLOTMIRA_DXF_2018 = 0,        /* AC1032, texts in UTF-8 */
    PLOTMIRA_DXF_2000 = 1,        /* AC1015, texts in Shift-JIS ($DWGCODEPAGE ANSI_932) */
    PLOTMIRA_DXF_R12 = 2,         /* AC1009, texts in Shift-JIS; no lineweights, ellipses as polylines */
    PLOTMIRA_DXF_INT = 0x7FFFFFFF /* keeps the type as wide as an int */
} plotmira_dxf_version;

/*
 * What a DXF file holds. Model space is at real scale: each object's sheet
 * millimetres times its layer group's scale, in millimetres ($INSUNITS 4), a
 * figure's at 1:1. A drawing's paper-space layout is its paper at 1:1 with
 * one viewport per layer group that holds anything, at that group's scale.
 * Every layer that holds anything is a DXF layer named "G-L name" (group and
 * layer in hexadecimal); shown layers are on, hidden ones off (their objects
 * are written all the same), display-only ones locked. Blocks are BLOCK
 * definitions placed by INSERTs, nested as the file nests them.
 */
typedef struct plotmira_dxf_options {
    size_t struct_size; /* sizeof(plotmira_dxf_options) */
    plotmira_dxf_version version;
    plotmira_pens pens;                /* the colours and widths written */
    uint16_t hide_groups, show_groups; /* layers written off or on, as in plotmira_view */
    uint16_t hide_layers[PLOTMIRA_LAYER_GROUPS];
    uint16_t show_layers[PLOTMIRA_LAYER_GROUPS];
    int (*cancel)(void *cancel_data);
    void *cancel_data;
} plotmira_dxf_options;

/* DXF 2018, screen pens, the file's own layer states. */
PLOTMIRA_API void plotmira_dxf_options_init(plotmira_dxf_options *options);

/* Writes the document as a DXF file through write (see
 * plotmira_render_vector's callback). PLOTMIRA_ERR_VERSION, before anything
 * is written, for a version the library does not draw. A failed call may
 * have written part of a file: discard it. */
PLOTMIRA_API plotmira_status plotmira_export_dxf(plotmira_document *doc, const plotmira_dxf_options *options,
                                                 plotmira_write_callback write, void *user_data);

/* ---- texts -------------------------------------------------------------- */

#define PLOTMIRA_TEXT_IN_BLOCK 1  /* placed through a block */
#define PLOTMIRA_TEXT_DIMENSION 2 /* a dimension's label */

typedef struct plotmira_text {
    const char *text; /* UTF-8, its macros expanded as drawn; valid during the call */
    double x, y;      /* the start of its baseline, sheet millimetres */
    double height;    /* character height, millimetres */
    double angle;     /* the baseline's direction, degrees counter-clockwise */
    int32_t layer_group, layer;
    uint32_t kind; /* PLOTMIRA_TEXT_* bits */
} plotmira_text;

/* Called once per text; a nonzero answer stops the walk. It runs after the
 * library has walked the drawing: it may call the library. */
typedef int (*plotmira_text_callback)(const plotmira_text *text, void *user_data);

/* Every text the document shows with its own layer states, in drawing
 * order: block members and dimension labels included. */
PLOTMIRA_API plotmira_status plotmira_texts(plotmira_document *doc, plotmira_text_callback callback, void *user_data);

/* ---- the module's settings ---------------------------------------------- */

/*
 * The settings the plug-in and every host share: picture widths for
 * drawings and figures (0 or absent: the desktop's width, half of it for
 * figures) and the reference file of user variables. Natively they live in
 * a registry file (PLOTMIRA_REGISTRY, or plotmira/registry.reg under the XDG
 * configuration folder); on Windows under HKEY_CURRENT_USER.
 */
typedef struct plotmira_settings {
    size_t struct_size; /* sizeof(plotmira_settings) */
    int has_drawing_width;
    uint32_t drawing_width;
    int has_figure_width;
    uint32_t figure_width;
    int has_reference_file;
    /* The reference file's name (UTF-8, NUL-terminated), in the caller's
     * buffer of reference_file_size bytes: plotmira_settings_write takes it
     * from there, plotmira_settings_read copies it there. */
    char *reference_file;
    size_t reference_file_size;
    /* Filled by plotmira_settings_read: where they are kept (in words for
     * people, into the caller's buffer of location_size bytes), the lengths
     * of both texts (bytes, without the NUL, whether or not they fitted),
     * and the widths that stand when none is set. */
    char *location;
    size_t location_size;
    size_t reference_file_length, location_length;
    int32_t default_drawing_width, default_figure_width;
} plotmira_settings;

/* No values, no buffers; struct_size set. */
PLOTMIRA_API void plotmira_settings_init(plotmira_settings *settings);

/* Which value plotmira_settings_write refused. */
#define PLOTMIRA_SETTING_DRAWING_WIDTH 1
#define PLOTMIRA_SETTING_FIGURE_WIDTH 2
#define PLOTMIRA_SETTING_REFERENCE_FILE 3

/* Reads what is stored; values not stored are absent. The texts are copied
 * into the buffers the caller gives (a null buffer: only their lengths);
 * one that does not fit answers PLOTMIRA_ERR_ARGUMENT with every length and
 * value filled in, the buffer left as it was: call again with room for
 * length + 1 bytes. */
PLOTMIRA_API plotmira_status plotmira_settings_read(plotmira_settings *settings);
/* Checks every value by the settings file's rules (widths 300 to 5000, a
 * reference file name of at least two characters), then writes the present
 * ones and removes the absent ones. A bad value answers PLOTMIRA_ERR_SETTING,
 * names it in *bad_setting (may be null) and writes nothing. */
PLOTMIRA_API plotmira_status plotmira_settings_write(const plotmira_settings *settings, int *bad_setting);
/* A width as the settings file writes it: decimal digits, 300 to 5000. */
PLOTMIRA_API plotmira_status plotmira_settings_parse_width(const char *text, uint32_t *width);

#ifdef __cplusplus
}
#endif

#endif /* PLOTMIRA_H */
