// Node runs of the web build's programs: the font folder comes from the
// environment, as the native build's settings do.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  for (const name of ['PLOTMIRA_FONT_DIR', 'PLOTMIRA_DESKTOP_WIDTH', 'PLOTMIRA_REGISTRY']) {
    if (process.env[name] !== undefined) ENV[name] = process.env[name];
  }
});
