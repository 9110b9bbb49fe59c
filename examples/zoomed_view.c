/* Opens a drawing, prints its layers' names and writes a view zoomed 8x
 * onto the middle of what it draws as a PPM picture.
 *   cc zoomed_view.c $(pkg-config --cflags --libs plotmira) -o zoomed_view
 *   ./zoomed_view plan.jww zoomed.ppm */
#include <plotmira.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    plotmira_document *doc;
    plotmira_info info;
    plotmira_view view;
    plotmira_status status;
    unsigned char *rgb = malloc(800 * 600 * 3);
    int g, l;
    FILE *out;
    if (argc != 3 || rgb == NULL) return 2;
    info.struct_size = sizeof info;
    status = plotmira_open_file(argv[1], &doc);
    if (status == PLOTMIRA_OK) status = plotmira_describe(doc, &info);
    if (status != PLOTMIRA_OK) return fprintf(stderr, "%s: %s\n", argv[1], plotmira_strerror(status)), 1;
    for (g = 0; g < PLOTMIRA_LAYER_GROUPS; ++g)
        for (l = 0; l < PLOTMIRA_LAYERS_PER_GROUP; ++l) printf("%X-%X %s\n", g, l, info.groups[g].layers[l].name);
    plotmira_view_init(&view, 800, 600);
    view.placement = PLOTMIRA_PLACE_CENTER;
    view.scale = 8 * 800 / (info.sheet.max_x - info.sheet.min_x);
    view.x = (info.extent.min_x + info.extent.max_x) / 2;
    view.y = (info.extent.min_y + info.extent.max_y) / 2;
    {
        plotmira_image image = {sizeof image, PLOTMIRA_PIXELS_RGB24, NULL, 0, 800 * 600 * 3};
        image.pixels = rgb;
        status = plotmira_render(doc, &view, &image);
    }
    plotmira_close(doc);
    if (status != PLOTMIRA_OK || (out = fopen(argv[2], "wb")) == NULL) return 1;
    fprintf(out, "P6\n800 600\n255\n");
    fwrite(rgb, 3, 800 * 600, out);
    free(rgb);
    return fclose(out) == 0 ? 0 : 1;
}
