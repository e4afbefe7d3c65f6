/**
 * The user's remembered answers, one record per origin in storage.local under "site:<origin>":
 * {print?: 'allow'|'deny', macs?: 'allow'|'deny'}. The options page lists and revokes them.
 */

const PREFIX = 'site:';

/**
 * @typedef {{get(k: string | null): Promise<object>, set(o: object): Promise<void>, remove(k: string): Promise<void>}} Area
 */

/**
 * @param {Area} area storage.local
 * @param {string} origin
 * @param {string} capability
 * @returns {Promise<'allow' | 'deny' | undefined>}
 */
export async function rememberedChoice(area, origin, capability) {
  const key = PREFIX + origin;
  const record = (await area.get(key))[key];
  const choice = record?.[capability];
  return choice === 'allow' || choice === 'deny' ? choice : undefined;
}

/** Keeps one answer for an origin, beside its other ones. */
export async function remember(area, origin, capability, choice) {
  const key = PREFIX + origin;
  const record = { ...(await area.get(key))[key], [capability]: choice };
  await area.set({ [key]: record });
}

/** Forgets one answer (or, without a capability, every answer) for an origin. */
export async function revoke(area, origin, capability) {
  const key = PREFIX + origin;
  const record = { ...(await area.get(key))[key] };
  if (capability) delete record[capability];
  if (!capability || Object.keys(record).length === 0) await area.remove(key);
  else await area.set({ [key]: record });
}

/**
 * Every remembered answer, sorted by origin then capability.
 * @returns {Promise<{origin: string, capability: string, choice: string}[]>}
 */
export async function listChoices(area) {
  const all = await area.get(null);
  const rows = [];
  for (const [key, record] of Object.entries(all)) {
    if (!key.startsWith(PREFIX) || record === null || typeof record !== 'object') continue;
    for (const [capability, choice] of Object.entries(record)) {
      rows.push({ origin: key.slice(PREFIX.length), capability, choice });
    }
  }
  return rows.sort((a, b) => a.origin.localeCompare(b.origin) || a.capability.localeCompare(b.capability));
}
